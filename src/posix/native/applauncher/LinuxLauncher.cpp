#include "LinuxLauncher.h"

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

#include "DecimalText.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "ImageLaunch.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "Platform.h"
#include "ScopedResource.h"
#include "StringBuilder.h"
#include "SysInfo.h"

const char restartMarkVariable[] = "VANTORIX_RESTARTED";
const char runtimeRestartMarkVariable[] = "VANTORIX_RUNTIME_RESTART";

namespace {

const wchar_t librarySearchVariable[] = L"LD_LIBRARY_PATH";

// argv as main received it, with the terminating null pointer.
std::vector<char*> commandLine{nullptr};

WideStringList commandArgs() {
    WideStringList args;
    for (std::size_t i = 1; i + 1 < commandLine.size(); ++i) {
        args.push_back(tstrings::utf8OrBytesToWide(commandLine[i]));
    }
    return args;
}

// Reads and removes an environment variable; false when it was not set.
bool takeVariable(const char* name, WideString& value) {
    if (!platform::environmentVariable(tstrings::bytesToWide(name).c_str(), value)) {
        return false;
    }
    ::unsetenv(name);
    return true;
}

// The path with every symbolic link resolved, or empty when it does not
// resolve.
std::string resolvedPath(const WideString& path) {
    const ScopedMallocMemory<char> resolved(::realpath(tstrings::wideToUtf8(path).c_str(), nullptr));
    return resolved ? std::string(resolved.get()) : std::string();
}

// Whether some element of "LD_LIBRARY_PATH" holds a libjvm.so.
bool searchPathHasJvmLibrary(const WideString& searchPath) {
    WideStringList elements;
    tstrings::splitInto(elements, searchPath, L":");
    for (const WideString& element : elements) {
        if (!element.empty() && FileUtils::pathExists(FileUtils::joinPath(element, L"libjvm.so"))) {
            return true;
        }
    }
    return false;
}

// The runtime's launcher library replaces the process with /proc/self/exe
// (this launcher) and the JVM argument vector as its command line when
// "LD_LIBRARY_PATH" lists a directory with a libjvm.so, unless the value
// begins with the resolved directory of the runtime's own VM (the server
// VM, else the client VM), which its re-exec puts first.
bool runtimeWillRestart(const Jvm& jvm) {
    const WideString searchPath = SysInfo::envVariableOr(librarySearchVariable, WideString());
    if (!searchPathHasJvmLibrary(searchPath)) {
        return false;
    }
    const std::string value = tstrings::wideToUtf8(searchPath);
    const WideString libraryDirectory = FileUtils::directoryOf(jvm.libraryPath());
    for (const wchar_t* vm : {L"server", L"client"}) {
        const WideString vmDirectory = FileUtils::joinPath(libraryDirectory, vm);
        if (FileUtils::pathExists(FileUtils::joinPath(vmDirectory, L"libjvm.so"))) {
            const std::string resolved = resolvedPath(vmDirectory);
            return value.compare(0, resolved.size(), resolved) != 0;
        }
    }
    return true;
}

// Taken for a user's command line, the arguments of the runtime's re-exec
// would go to the application a second time, behind the JVM options of the
// config file. So before the launch, when the runtime will re-exec, this
// mark names the process (execv keeps its id) and the library; the new
// image removes it and hands its command line straight back to the runtime
// when the library is its own. A process with another id (anything the
// Java application starts) drops the mark.
void markRuntimeRestart(const Jvm& jvm) {
    const WideString mark = (StringBuilder() << getpid() << L":" << jvm.libraryPath()).text();
    SysInfo::setEnvVariable(tstrings::bytesToWide(runtimeRestartMarkVariable), mark);
    logTrace("Set " << runtimeRestartMarkVariable << "=" << mark);
}

// Removes the mark of the runtime's re-exec; the library path it names
// when it names this very process, else empty.
WideString takeRuntimeRestart() {
    WideString mark;
    if (!takeVariable(runtimeRestartMarkVariable, mark)) {
        return WideString();
    }
    const std::size_t colon = mark.find(L':');
    if (colon == WideString::npos || mark.substr(0, colon) != decimalText(getpid())) {
        return WideString();
    }
    return mark.substr(colon + 1);
}

// The runtime's re-exec: the command line is its JVM argument vector.
void relaunchRuntime(const WideString& libraryPath) {
    logTrace("Started again by the Java runtime; its arguments go back to " << libraryPath);
    Jvm jvm;
    jvm.setLibraryPath(libraryPath);
    for (std::size_t i = 0; i + 1 < commandLine.size(); ++i) {
        jvm.appendArgument(tstrings::utf8OrBytesToWide(commandLine[i]));
    }
    jvm.launch();
}

// Anyone can set the runtime's mark: only this image's own runtime gets the
// command line, never a library that the mark names. True when it did.
bool relaunchOwnRuntime(const WideString& markedLibrary, std::unique_ptr<Jvm>& jvm) {
    const std::string own = resolvedPath(jvm->libraryPath());
    if (own.empty() || own != resolvedPath(markedLibrary)) {
        logTrace("Ignored " << runtimeRestartMarkVariable << ": " << markedLibrary
                            << " is not the runtime of this image");
        return false;
    }
    const WideString libraryPath = jvm->libraryPath();
    jvm.reset();
    relaunchRuntime(libraryPath);
    return true;
}

// Replaces this process's image with the same executable and command line;
// the environment, with the extended "LD_LIBRARY_PATH", carries over.
// Returns only by throwing.
void restartInPlace(const WideString& executablePath) {
    // Removed again when the exec fails, after its errno has been read.
    const SysInfo::ScopedEnvVariable mark(tstrings::bytesToWide(restartMarkVariable), L"1");
    logTrace("execv(" << executablePath << ")");
    ::execv(tstrings::wideToUtf8(executablePath).c_str(), commandLine.data());
    throwErrnoOfCall(execv, executablePath);
}

void launchInProcess(Jvm& jvm) {
    if (runtimeWillRestart(jvm)) {
        markRuntimeRestart(jvm);
    }
    jvm.launch();
}

} // namespace

void setCommandLine(int argc, char** argv) {
    commandLine.assign(argv, argv + argc);
    commandLine.push_back(nullptr);
}

void launchApp() {
    const WideString runtimeRestart = takeRuntimeRestart();

    PlatformLaunch platform;
    platform.executablePath = SysInfo::executablePath();
    platform.commandArgs = commandArgs();
    platform.jvmLibrary = L"lib/libjli.so";
    platform.librarySearchVariable = librarySearchVariable;
    platform.pathListSeparator = L':';
    platform.pathComparison = tstrings::Exact;
    platform.takeRestartMark = [] {
        WideString ignored;
        return takeVariable(restartMarkVariable, ignored);
    };
    platform.takeOver = [&runtimeRestart](std::unique_ptr<Jvm>& jvm) {
        return runtimeRestart.empty() ? false : relaunchOwnRuntime(runtimeRestart, jvm);
    };
    platform.restart = restartInPlace;
    platform.runInProcess = launchInProcess;
    launchImage(platform);
}
