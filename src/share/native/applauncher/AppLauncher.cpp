#include "AppLauncher.h"

#include <stdexcept>

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "SingleInstance.h"
#include "SysInfo.h"
#include "UserJvmOptions.h"

namespace {

// A directory whose path holds the list separator would split in two
// wherever it is listed: in the library search variable, where the loader
// would then search a relative piece from the current directory, and in the
// class path. Refused before either is built.
void refuseListSeparator(const char* role, const WideString& directory, wchar_t separator,
                         const WideString& librarySearchVariable) {
    if (directory.find(separator) == WideString::npos) {
        return;
    }
    throwWithPosition(std::runtime_error(
        (StringBuilder() << "The " << role << " directory \"" << directory << "\" contains '"
                         << WideString(1, separator) << "', which separates the directories listed in "
                         << librarySearchVariable << " and in the class path: move the application to a "
                         << "directory without it")
            .utf8()));
}

// A relative "app.runtime" is taken from the image root, never from the
// current directory: that is wherever the user happened to be (a document's
// folder, when opened through a file association), and a runtime found
// there would be loaded, and searched for DLLs, in our place.
WideString findJvmLib(const CfgFile& cfgFile, const WideString& rootDirectory,
                      const WideString& defaultRuntimeDirectory, const WideStringList& candidates,
                      wchar_t separator, const WideString& librarySearchVariable) {
    const PropertyTable& application = cfgFile.sectionProperties(SectionId::Application);
    const auto runtime = application.find(PropertyId::Runtime);

    WideString runtimeDirectory;
    if (runtime != application.end()) {
        runtimeDirectory = lastValueOf(*runtime);
        if (!FileUtils::isAbsolutePath(runtimeDirectory)) {
            runtimeDirectory = FileUtils::joinPath(rootDirectory, runtimeDirectory);
        }
        logTrace("Java runtime directory: \"" << runtimeDirectory << "\"");
    } else {
        runtimeDirectory = defaultRuntimeDirectory;
        logTrace("Property \"" << PropertyId::Runtime.name() << "\" not found in \""
                               << SectionId::Application.name()
                               << "\" section of launcher config file. Using Java runtime from \""
                               << runtimeDirectory << "\" directory");
    }
    refuseListSeparator("Java runtime", runtimeDirectory, separator, librarySearchVariable);

    for (const WideString& candidate : candidates) {
        const WideString path = FileUtils::joinPath(runtimeDirectory, candidate);
        if (FileUtils::pathExists(path)) {
            return path;
        }
    }

    throwWithPosition(std::runtime_error(
        (StringBuilder() << "Failed to find JVM in \"" << runtimeDirectory << "\" directory.").utf8()));
}

} // namespace

AppLauncher::AppLauncher(const WideString& executablePath, const WideStringList& commandArgs)
    : commandArgs(commandArgs), executablePath(executablePath) {}

AppLauncher& AppLauncher::withRootDirectory(const WideString& value) {
    rootDirectory = value;
    return *this;
}

AppLauncher& AppLauncher::withAppDirectory(const WideString& value) {
    appDirectory = value;
    return *this;
}

AppLauncher& AppLauncher::withDefaultRuntimeDirectory(const WideString& value) {
    defaultRuntimeDirectory = value;
    return *this;
}

AppLauncher& AppLauncher::withLibrarySearchVariable(const WideString& value) {
    librarySearchVariable = value;
    return *this;
}

AppLauncher& AppLauncher::withJvmLibraryCandidate(const WideString& value) {
    jvmLibraryCandidates.push_back(value);
    return *this;
}

AppLauncher& AppLauncher::withInstanceEndpoint(const WideString& value) {
    instanceEndpoint = value;
    return *this;
}

AppLauncher& AppLauncher::withPathListSeparator(wchar_t value) {
    pathListSeparator = value;
    return *this;
}

AppLauncher& AppLauncher::withPathComparison(tstrings::TextComparison value) {
    pathComparison = value;
    return *this;
}

bool AppLauncher::librarySearchPathHasAppDir() const {
    WideStringList pieces;
    tstrings::splitInto(pieces, SysInfo::envVariableOr(librarySearchVariable, WideString()),
                        WideString(1, pathListSeparator));
    for (const WideString& piece : pieces) {
        if (tstrings::sameText(piece, appDirectory, pathComparison)) {
            return true;
        }
    }
    return false;
}

CfgFile AppLauncher::loadConfigFile() const {
    refuseListSeparator("application", appDirectory, pathListSeparator, librarySearchVariable);

    const WideString applicationName = FileUtils::dropSuffix(FileUtils::fileNameOf(executablePath));
    const WideString configFilePath = FileUtils::joinPath(appDirectory, applicationName + L".cfg");

    logTrace("Launcher config file path: \"" << configFilePath << "\"");

    const MacroTable macros{
        {L"$APPDIR", appDirectory},
        {L"$BINDIR", FileUtils::directoryOf(executablePath)},
        {L"$ROOTDIR", rootDirectory},
    };

    CfgFile cfgFile = CfgFile::load(configFilePath).substituteMacros(macros);

    UserJvmOptions::addTo(cfgFile, applicationName, macros);

    if (!commandArgs.empty()) {
        cfgFile.replaceValues(SectionId::ArgOptions, PropertyId::Arguments, commandArgs);
    }
    return cfgFile;
}

std::unique_ptr<Jvm> AppLauncher::createJvmLauncher(const CfgFile& cfgFile) const {
    if (!librarySearchPathHasAppDir()) {
        const WideString current = SysInfo::envVariableOr(librarySearchVariable, WideString());
        SysInfo::setEnvVariable(librarySearchVariable,
                                FileUtils::appendToSearchList(current, appDirectory, pathListSeparator));
    }

    auto jvm = std::make_unique<Jvm>();
    jvm->setLibraryPath(findJvmLib(cfgFile, rootDirectory, defaultRuntimeDirectory, jvmLibraryCandidates,
                                    pathListSeparator, librarySearchVariable));
    jvm->appendArgument(executablePath);
    if (!instanceEndpoint.empty()) {
        jvm->addLauncherProperty(WideString(L"-D") + instanceEndpointProperty + L"=" + instanceEndpoint);
    }
    jvm->initFromConfigFile(cfgFile, executablePath, pathListSeparator);
    return jvm;
}
