// Timing stand-in for the runtime's jli.dll. Its launch entry appends one
// line to the file named by VX_BENCH_STAMP and returns 0:
//
//   <entry time> <argc> <peak working set>
//
// The entry time is nanoseconds since the Unix epoch, read with
// GetSystemTimePreciseAsFileTime: Wine takes it from the host's real-time
// clock, so it compares directly with a timestamp taken on the Linux side
// before the process was started. The peak working set (bytes) is this
// process's peak up to the call, as K32GetProcessMemoryInfo reports it
// (Wine: the VmHWM of /proc/self/status).
//
// The entry does as little as it can before reading the clock, and nothing
// else that would differ between the executables that call it.

#include <cstdio>
#include <string>

#include "ScopedHandle.h"
#include "WinSys.h"

#include <psapi.h>

#include "JvmLauncherData.h"

namespace {

using PreciseTimeFunction = VOID(WINAPI*)(LPFILETIME);

// Looked up at run time: the toolchain's headers declare it for Windows 8
// and later only.
void readClock(FILETIME* now) {
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    const FARPROC address = kernel32 ? GetProcAddress(kernel32, "GetSystemTimePreciseAsFileTime") : nullptr;
    if (address) {
        reinterpret_cast<PreciseTimeFunction>(reinterpret_cast<void (*)()>(address))(now);
    } else {
        GetSystemTimeAsFileTime(now);
    }
}

unsigned long long unixNanoseconds(const FILETIME& time) {
    // FILETIME counts 100 ns units since 1601-01-01.
    const unsigned long long ticks =
        (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    const unsigned long long unixEpoch = 116444736000000000ULL;
    return (ticks - unixEpoch) * 100;
}

void writeStamp(const char* line, DWORD length) {
    const wchar_t name[] = L"VX_BENCH_STAMP";
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return;
    }
    std::wstring path(size, L'\0');
    if (GetEnvironmentVariableW(name, &path[0], size) != size - 1) {
        return;
    }
    path.resize(size - 1);
    const ScopedHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return;
    }
    DWORD written = 0;
    WriteFile(file.get(), line, length, &written, nullptr);
}

} // namespace

extern "C" __declspec(dllexport) int JLI_Launch(int argc, char** argv, int jargc, const char** jargv,
                                                int appclassc, const char** appclassv,
                                                const char* fullversion, const char* dotversion,
                                                const char* pname, const char* lname, int javaargs,
                                                int cpwildcard, int javaw, int ergo);

int JLI_Launch(int argc, char**, int, const char**, int, const char**, const char*, const char*,
               const char*, const char*, int, int, int, int) {
    FILETIME now{};
    readClock(&now);

    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    K32GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));

    char line[96];
    const int length = std::snprintf(line, sizeof(line), "%llu %d %llu\n", unixNanoseconds(now), argc,
                                     static_cast<unsigned long long>(memory.PeakWorkingSetSize));
    if (length > 0 && static_cast<size_t>(length) < sizeof(line)) {
        writeStamp(line, static_cast<DWORD>(length));
    }
    return 0;
}

// The launcher calls the entry through this type: a signature that drifts
// from it does not compile.
namespace {
[[maybe_unused]] const JliLaunchEntry entryHasTheLauncherSignature = &JLI_Launch;
}
