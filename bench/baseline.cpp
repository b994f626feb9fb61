// The least a launcher can do: load runtime\bin\jli.dll beside the
// executable by its full path, find the launch entry and call it with a
// fixed argument vector. Built like the launcher (GUI subsystem, static
// runtimes) so that the difference between the two is the launcher's own
// work: config file, argument list, environment check, launch data block.
// Exit code: the entry's result, or 2 when the entry cannot be reached.
//
// With VX_BENCH_SYSTEM_UI defined it also makes the two calls into user32
// and shell32 that the launcher makes on every start, so that the cost of
// loading those libraries can be told apart from the launcher's own work.

#include "ScopedHandle.h"
#include "WinSys.h"

#ifdef VX_BENCH_SYSTEM_UI
#include <shellapi.h>
#endif

#include "JvmLauncherData.h"

namespace {

// Long enough for any path GetModuleFileNameW returns.
wchar_t libraryPath[32768];

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
#ifdef VX_BENCH_SYSTEM_UI
    AllowSetForegroundWindow(ASFW_ANY);
    int count = 0;
    const ScopedLocalMemory<LPWSTR> commandArgs(CommandLineToArgvW(GetCommandLineW(), &count));
#endif

    const DWORD length = GetModuleFileNameW(nullptr, libraryPath, 32768);
    if (length == 0 || length >= 32768) {
        return 2;
    }
    DWORD directoryEnd = length;
    while (directoryEnd > 0 && libraryPath[directoryEnd - 1] != L'\\') {
        --directoryEnd;
    }
    const wchar_t relative[] = L"runtime\\bin\\jli.dll";
    if (directoryEnd + sizeof(relative) / sizeof(wchar_t) > 32768) {
        return 2;
    }
    for (DWORD i = 0; i < sizeof(relative) / sizeof(wchar_t); ++i) {
        libraryPath[directoryEnd + i] = relative[i];
    }

    const HMODULE jli = LoadLibraryW(libraryPath);
    if (!jli) {
        return 2;
    }
    const FARPROC address = GetProcAddress(jli, jliLaunchSymbol);
    if (!address) {
        return 2;
    }
    const auto entry = reinterpret_cast<JliLaunchEntry>(reinterpret_cast<void (*)()>(address));

    static char program[] = "Baseline.exe";
    static char classPath[] = "-classpath";
    static char classPathValue[] = "app\\main.jar;app\\lib.jar";
    static char heap[] = "-Xmx512m";
    static char appPath[] = "-Dvantorix.app-path=Baseline.exe";
    static char mainClass[] = "com.example.Main";
    char* arguments[] = {program, classPath, classPathValue, heap, appPath, mainClass, nullptr};
    const int argumentCount = static_cast<int>(sizeof(arguments) / sizeof(arguments[0])) - 1;

    return entry(argumentCount, arguments, 0, nullptr, 0, nullptr, "", "", "java", "java", 0, 0, 0, 0);
}
