#include "JvmLauncher.h"

#include <stdexcept>

#include "ClassDataSetup.h"
#include "Dll.h"
#include "ErrorHandling.h"
#include "JvmStartWatch.h"
#include "app.h"
#include "FileUtils.h"
#include "Log.h"
#include "Platform.h"

Jvm::Jvm() {
    logTrace("Jvm(" << streamedPointer(this) << ")::Jvm()");
}

Jvm::~Jvm() {
    try {
        logTrace("Jvm(" << streamedPointer(this) << ")::~Jvm()");
    } catch (...) {
        // Destruction goes on whatever the trace does.
    }
}

Jvm& Jvm::setLibraryPath(const WideString& path) {
    jvmLibraryPath = path;
    return *this;
}

Jvm& Jvm::appendArgument(const WideString& value) {
    argumentList.push_back(value);
    return *this;
}

Jvm& Jvm::addLauncherProperty(const WideString& option) {
    launcherProperties.push_back(option);
    return *this;
}

Jvm& Jvm::initFromConfigFile(const CfgFile& cfgFile, const WideString& executablePath,
                             wchar_t classPathSeparator) {
    const PropertyTable& application = cfgFile.sectionProperties(SectionId::Application);

    auto found = application.find(PropertyId::ModulePath);
    if (found != application.end()) {
        for (const WideString& value : found->second) {
            appendArgument(L"--module-path").appendArgument(value);
        }
    }

    found = application.find(PropertyId::ClassPath);
    if (found != application.end()) {
        appendArgument(L"-classpath").appendArgument(joinValues(*found, classPathSeparator));
    }

    found = application.find(PropertyId::Splash);
    if (found != application.end()) {
        const WideString splash = lastValueOf(*found);
        if (FileUtils::pathExists(splash)) {
            appendArgument(L"-splash:" + splash);
        } else {
            logWarning("Splash property ignored. File \"" << splash << "\" not found");
        }
    }

    const PropertyTable& javaOptions = cfgFile.sectionProperties(SectionId::JavaOptions);
    found = javaOptions.find(PropertyId::JavaOptions);
    if (found != javaOptions.end()) {
        for (const WideString& value : found->second) {
            appendArgument(value);
        }
    }

    appendClassDataOptions(cfgFile, executablePath, classPathSeparator);

    appendArgument(L"-Dvantorix.app-path=" + executablePath);
    for (const WideString& option : launcherProperties) {
        appendArgument(option);
    }

    found = application.find(PropertyId::MainModule);
    if (found != application.end()) {
        appendArgument(L"-m").appendArgument(lastValueOf(*found));
    }

    found = application.find(PropertyId::MainClass);
    if (found != application.end()) {
        appendArgument(lastValueOf(*found));
    }

    found = application.find(PropertyId::MainJar);
    if (found != application.end()) {
        appendArgument(L"-jar").appendArgument(lastValueOf(*found));
    }

    const PropertyTable& argOptions = cfgFile.sectionProperties(SectionId::ArgOptions);
    found = argOptions.find(PropertyId::Arguments);
    if (found != argOptions.end()) {
        for (const WideString& value : found->second) {
            appendArgument(value);
        }
    }
    return *this;
}

void Jvm::appendClassDataOptions(const CfgFile& cfgFile, const WideString& executablePath,
                                 wchar_t listSeparator) {
    const PropertyTable& application = cfgFile.sectionProperties(SectionId::Application);
    ClassDataCache::Request request;
    const auto fastStart = application.find(PropertyId::FastStart);
    request.enabled = fastStart != application.end() && lastValueOf(*fastStart) == L"true";
    request.executablePath = executablePath;
    request.runtimeLibraryPath = jvmLibraryPath;
    request.listSeparator = listSeparator;
    request.jvmOptions.assign(argumentList.begin() + (argumentList.empty() ? 0 : 1), argumentList.end());
    for (const PropertyId property : {PropertyId::ClassPath, PropertyId::ModulePath, PropertyId::MainJar}) {
        const auto found = application.find(property);
        if (found != application.end()) {
            request.applicationFiles.insert(request.applicationFiles.end(), found->second.begin(),
                                            found->second.end());
        }
    }
    ClassDataCache::Plan plan = ClassDataCache::plan(request);
    for (const WideString& option : plan.options) {
        appendArgument(option);
    }
    beforeLaunch = std::move(plan.beforeLaunch);
}

bool Jvm::hasSplashOption() const {
    for (const WideString& argument : argumentList) {
        if (tstrings::hasPrefix(argument, L"-splash:", tstrings::Exact)) {
            return true;
        }
    }
    return false;
}

JliLaunchDataOwner Jvm::makeLaunchData() const {
    std::vector<std::string> arguments;
    arguments.reserve(argumentList.size());
    for (const WideString& argument : argumentList) {
        // A look-alike ("Lodz" for "Łódź") or a '?' would name another
        // file or directory, and the application would fail later and
        // obscurely; refusing here names the culprit.
        std::string bytes;
        if (!tstrings::wideToAnsiExact(argument, bytes)) {
            throwWithPosition(std::runtime_error(
                (StringBuilder() << "The JVM argument \"" << tstrings::excerpt(argument, 200)
                                 << "\" has characters that the ANSI code page "
                                 << platform::ansiCodePage() << " cannot represent")
                    .utf8()));
        }
        arguments.push_back(std::move(bytes));
    }
    return createJliLaunchData(tstrings::wideToUtf8(jvmLibraryPath), std::move(arguments));
}

void Jvm::launch() {
    const JvmlLauncherDataBlock block(buildLauncherDataBlock(&launchDataApi(), makeLaunchData().release()));
    if (!block) {
        // The table has already reported why (size, memory or layout).
        throwWithPosition(std::runtime_error("Failed to prepare the JVM launch data"));
    }

    logTrace("JVM library: \"" << jvmLibraryPath << "\"");

    // The function holder keeps its own reference; the temporary Dll's
    // reference is dropped at the end of this statement.
    const DllFunction<JliLaunchEntry> entry(Dll(StringBuilder() << jvmLibraryPath),
                                            StringBuilder() << jliLaunchSymbol);

    if (beforeLaunch) {
        beforeLaunch();
    }
    const JvmStartWatch watch;
    const int result = startJvmWithBlock(block.get(), entry);
    if (result == 0) {
        return;
    }
    if (!watch.jvmStarted()) {
        throwWithPosition(std::runtime_error("Failed to launch JVM"));
    }
    // The JVM ran and has already printed the application's error; the
    // process ends with the code the runtime gave.
    logTrace("The JVM ran; its launch entry returned " << result);
    app::setExitCodeOnFailure(result);
    throwWithPosition(std::runtime_error(
        (StringBuilder() << "The application ended with an error (exit code " << result << ")").utf8()));
}
