#include "WinLauncher.h"

#include <memory>
#include <stdexcept>

#include "Dll.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "ImageLaunch.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "Restart.h"
#include "ScopedHandle.h"
#include "SingleInstance.h"
#include "SysInfo.h"
#include "WinErrorHandling.h"
#include "WinSys.h"
#include "app.h"

namespace {

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
        throwLastError(addDllDirectoryAddress, "AddDllDirectory(" << directory << ") failed");
    }
    logTrace("AddDllDirectory(" << directory << "): OK");

    // Released on the way out: the Dll below holds the reference that stays.
    const ScopedModule searched(LoadLibraryExW(libraryPath.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
    logTrace("LoadLibraryEx(" << libraryPath << ", LOAD_LIBRARY_SEARCH_DEFAULT_DIRS): "
                              << streamedPointer(searched.get()));

    return std::make_unique<Dll>(StringBuilder() << libraryPath);
}

std::unique_ptr<Dll> loadDllWithAlteredPATH(const WideString& libraryPath) {
    const TraceScope trace(Severity::Trace, CURRENT_POSITION,
                           tstrings::utf8ToWide(CURRENT_POSITION.functionName()));

    const WideString pathName = L"PATH";
    const WideString newPath = FileUtils::appendToSearchList(SysInfo::envVariable(pathName),
                                                             FileUtils::directoryOf(libraryPath), L';');
    // Set back when this function is left, normally or by exception.
    const SysInfo::ScopedEnvVariable extendedPath(pathName, newPath);
    logTrace("New value of PATH: " << newPath);

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

// The VM that the splash screen library needs loaded first: the server VM,
// else the client VM (often the only one of a 32-bit runtime). Empty when
// the runtime has neither; it then finds its own VM at launch.
WideString jvmDllToPreload(const Jvm& jvm) {
    const WideString server = serverJvmDllPath(jvm);
    if (FileUtils::pathExists(server)) {
        return server;
    }
    const WideString client = PathBuilder() << FileUtils::directoryOf(jvm.libraryPath()) << L"client"
                                            << L"jvm.dll";
    if (FileUtils::pathExists(client)) {
        return client;
    }
    logTrace("No jvm.dll in \"" << FileUtils::directoryOf(server) << "\" or \""
                                  << FileUtils::directoryOf(client) << "\": not preloaded");
    return WideString();
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
        const WideString jvmDllPath = jvmDllToPreload(jvm);
        std::unique_ptr<PreloadedDll> jvmDll;
        if (!jvmDllPath.empty()) {
            jvmDll = std::make_unique<PreloadedDll>(jvmDllPath);
        }
        splashScreenDll = std::make_unique<PreloadedDll>(
            FileUtils::joinPath(runtimeLibraryDirectory, L"splashscreen.dll"));
    }

    jvm.launch();
}

} // namespace

void launchApp() {
    AllowSetForegroundWindow(ASFW_ANY);

    PlatformLaunch platform;
    platform.executablePath = SysInfo::executablePath();
    platform.commandArgs = SysInfo::getCommandArgs(SysInfo::WithoutProgramName);
    platform.jvmLibrary = L"bin\\jli.dll";
    platform.librarySearchVariable = L"PATH";
    platform.pathListSeparator = L';';
    platform.pathComparison = tstrings::IgnoringCase;
    platform.takeRestartMark = takeRestartMark;
    // The child reports its own failures; its code, whatever it is, is the
    // application's and becomes ours.
    platform.restart = [](const WideString& executablePath) {
        app::setExitCodeOnReturn(static_cast<int>(restartAsChild(executablePath)));
    };
    platform.runInProcess = launchInProcess;
    platform.instances = systemInstanceLink();
    launchImage(platform);
}
