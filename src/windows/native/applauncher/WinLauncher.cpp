#include "WinLauncher.h"

#include <memory>
#include <stdexcept>

#include "AppLauncher.h"
#include "Dll.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "ScopedHandle.h"
#include "SysInfo.h"
#include "Toolbox.h"
#include "WinErrorHandling.h"
#include "WinSys.h"

const wchar_t restartMarkVariable[] = L"VANTORIX_RESTARTED";

namespace {

// Reads and removes the restart mark. A process started by the restart
// must never restart again: when the application directory can never match
// a "PATH" element (a directory name with ';' in it), every child would
// otherwise start another child.
bool takeRestartMark() {
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableW(restartMarkVariable, nullptr, 0);
    const bool marked = length != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    if (marked) {
        SetEnvironmentVariableW(restartMarkVariable, nullptr);
    }
    return marked;
}

std::unique_ptr<Dll> loadDllWithAddDllDirectory(const WideString& libraryPath) {
    const TraceScope trace(Severity::Trace, CURRENT_POSITION,
                           tstrings::utf8ToWide(CURRENT_POSITION.functionName()));

    const WideString directory = FileUtils::directoryOf(libraryPath);

    using AddDllDirectoryFunction = DLL_DIRECTORY_COOKIE(WINAPI*)(PCWSTR);
    const DllFunction<AddDllDirectoryFunction> addDllDirectory(
        Dll(Dll::InSystemDirectory, StringBuilder() << "kernel32.dll"),
        StringBuilder() << "AddDllDirectory");
    const AddDllDirectoryFunction addDllDirectoryAddress = addDllDirectory;

    if (!addDllDirectoryAddress(directory.c_str())) {
        const DWORD error = GetLastError();
        throwWithPosition(SysError(StringBuilder() << "AddDllDirectory(" << directory << ") failed",
                                   reinterpret_cast<const void*>(addDllDirectoryAddress), error));
    }
    logTrace("AddDllDirectory(" << directory << "): OK");

    HMODULE searched = LoadLibraryExW(libraryPath.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    const AtEndOfScope releaseSearched([searched]() {
        if (searched) {
            FreeLibrary(searched);
        }
    });
    logTrace("LoadLibraryEx(" << libraryPath << ", LOAD_LIBRARY_SEARCH_DEFAULT_DIRS): "
                              << streamedPointer(searched));

    return std::make_unique<Dll>(StringBuilder() << libraryPath);
}

std::unique_ptr<Dll> loadDllWithAlteredPATH(const WideString& libraryPath) {
    const TraceScope trace(Severity::Trace, CURRENT_POSITION,
                           tstrings::utf8ToWide(CURRENT_POSITION.functionName()));

    const WideString pathName = L"PATH";
    const WideString oldPath = SysInfo::envVariable(pathName);
    const WideString newPath =
        FileUtils::appendToSearchList(oldPath, FileUtils::directoryOf(libraryPath), L';');
    SysInfo::setEnvVariable(pathName, newPath);
    logTrace("New value of PATH: " << newPath);
    const AtEndOfScope restorePath([&pathName, &oldPath]() { SysInfo::setEnvVariable(pathName, oldPath); });

    return std::make_unique<Dll>(StringBuilder() << libraryPath);
}

// A runtime library loaded before the launch and kept until this owner goes.
class PreloadedDll {
public:
    explicit PreloadedDll(const WideString& libraryPath) {
        try {
            dll = loadDllWithAddDllDirectory(libraryPath);
        } catch (const std::exception&) {
            // Without AddDllDirectory (or when it fails) the library's
            // directory goes on "PATH" for the one load instead.
            dll = loadDllWithAlteredPATH(libraryPath);
        }
    }
    PreloadedDll(const PreloadedDll&) = delete;
    PreloadedDll& operator=(const PreloadedDll&) = delete;

private:
    std::unique_ptr<Dll> dll;
};

WideString serverJvmDllPath(const Jvm& jvm) {
    return PathBuilder() << FileUtils::directoryOf(jvm.libraryPath()) << L"server" << L"jvm.dll";
}

void restartAsChild(const WideString& executablePath) {
    STARTUPINFOW startupInfo{};
    startupInfo.cb = sizeof(startupInfo);
    PROCESS_INFORMATION processInfo{};

    // CreateProcessW may write into the command line: hand it a private copy.
    WideString commandLine = GetCommandLineW();

    SysInfo::setEnvVariable(restartMarkVariable, L"1");
    const BOOL created = CreateProcessW(executablePath.c_str(), &commandLine[0], nullptr, nullptr,
                                        TRUE, 0, nullptr, nullptr, &startupInfo, &processInfo);
    const DWORD createError = GetLastError();
    // Only the child needs the mark; this process's own children must not see it.
    SetEnvironmentVariableW(restartMarkVariable, nullptr);
    if (!created) {
        throwWithPosition(SysError(StringBuilder() << "CreateProcessW() failed",
                                   reinterpret_cast<const void*>(&CreateProcessW), createError));
    }
    // Closed thread first, then process, on every path out.
    const ScopedHandle process(processInfo.hProcess);
    const ScopedHandle thread(processInfo.hThread);

    if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) {
        const DWORD error = GetLastError();
        throwWithPosition(SysError(StringBuilder() << "WaitForSingleObject() failed",
                                   reinterpret_cast<const void*>(&WaitForSingleObject), error));
    }

    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.get(), &exitCode)) {
        const DWORD error = GetLastError();
        throwWithPosition(SysError(StringBuilder() << "GetExitCodeProcess() failed",
                                   reinterpret_cast<const void*>(&GetExitCodeProcess), error));
    }
    if (exitCode != 0) {
        throwWithPosition(std::runtime_error(
            (StringBuilder() << "Child process exited with code " << exitCode).utf8()));
    }
}

void launchInProcess(Jvm& jvm) {
    const WideString runtimeLibraryDirectory = FileUtils::directoryOf(jvm.libraryPath());
    SetDllDirectoryW(runtimeLibraryDirectory.c_str());
    logTrace("SetDllDirectory to: " << runtimeLibraryDirectory);

    const PreloadedDll jliDll(jvm.libraryPath());

    std::unique_ptr<PreloadedDll> splashScreenDll;
    if (jvm.hasSplashOption()) {
        // jvm.dll is loaded before the splash library and dropped again
        // before the launch.
        const PreloadedDll jvmDll(serverJvmDllPath(jvm));
        splashScreenDll = std::make_unique<PreloadedDll>(
            FileUtils::joinPath(runtimeLibraryDirectory, L"splashscreen.dll"));
    }

    jvm.launch();
}

} // namespace

void launchApp() {
    const bool restarted = takeRestartMark();

    AllowSetForegroundWindow(ASFW_ANY);

    const WideString executablePath = SysInfo::executablePath();
    const WideString imageRoot = FileUtils::directoryOf(executablePath);
    const WideString appDirectory = FileUtils::joinPath(imageRoot, L"app");
    const WideString defaultRuntimeDirectory = FileUtils::joinPath(imageRoot, L"runtime");

    AppLauncher appLauncher(executablePath, SysInfo::getCommandArgs(SysInfo::WithoutProgramName));
    appLauncher.withRootDirectory(imageRoot)
        .withJvmLibraryCandidate(L"bin\\jli.dll")
        .withAppDirectory(appDirectory)
        .withLibrarySearchVariable(L"PATH")
        .withDefaultRuntimeDirectory(defaultRuntimeDirectory);

    // Asked before createJvmLauncher, which extends "PATH" when the answer is no.
    const bool pathHasAppDir = appLauncher.librarySearchPathHasAppDir();

    std::unique_ptr<Jvm> jvm = appLauncher.createJvmLauncher();

    if (!pathHasAppDir && !restarted) {
        jvm.reset();
        restartAsChild(executablePath);
        return;
    }
    launchInProcess(*jvm);
}
