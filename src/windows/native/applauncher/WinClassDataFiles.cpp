// The Windows half of the class-data cache's file and process operations.

#include "ClassDataFiles.h"

#include <cstdlib>

#include "FileUtils.h"
#include "Platform.h"
#include "ScopedHandle.h"
#include "SysInfo.h"
#include "WinErrorHandling.h"
#include "WinOwnership.h"
#include "WinSys.h"
// After windows.h, whose types it uses.
#include <ntsecapi.h>

namespace ClassDataFiles {

namespace {

WideString failure(const wchar_t* call, const WideString& path) {
    const DWORD error = GetLastError();
    return WideString(call) + L"(" + path + L") failed: " + systemErrorText(error, nullptr);
}

struct FindTraits {
    using Type = HANDLE;
    using KeepError = KeepLastError;
    static Type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool isValid(Type value) noexcept { return value != INVALID_HANDLE_VALUE; }
    static void close(Type value) noexcept { FindClose(value); }
};
using ScopedFind = ScopedResource<FindTraits>;

bool makeDirectories(const WideString& path, WideString& why) {
    if (CreateDirectoryW(path.c_str(), nullptr)) {
        return true;
    }
    DWORD error = GetLastError();
    if (error == ERROR_PATH_NOT_FOUND) {
        const WideString parent = FileUtils::directoryOf(path);
        if (parent.empty() || parent == path || !makeDirectories(parent, why)) {
            if (why.empty()) {
                why = L"CreateDirectoryW(" + path + L") failed: " + systemErrorText(error, nullptr);
            }
            return false;
        }
        if (CreateDirectoryW(path.c_str(), nullptr)) {
            return true;
        }
        error = GetLastError();
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return true;
    }
    why = L"CreateDirectoryW(" + path + L") failed: " + systemErrorText(error, nullptr);
    return false;
}

// The runtime writes its archives read-only; replacing or deleting one
// needs the attribute gone first.
void makeWritable(const WideString& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

} // namespace

WideString untrustedDirectory(const WideString& path) {
    const WideString why = WinOwnership::untrustedPath(path, true);
    return why.empty() ? why : L"\"" + path + L"\": " + why;
}

WideString untrustedFile(const WideString& path) {
    const WideString why = WinOwnership::untrustedPath(path, false);
    return why.empty() ? why : L"\"" + path + L"\": " + why;
}

WideString randomText() {
    unsigned char bytes[8] = {};
    if (!RtlGenRandom(bytes, sizeof bytes)) {
        // Never the only defence: the names are made exclusively, in a
        // directory that is the user's alone.
        LARGE_INTEGER counter{};
        QueryPerformanceCounter(&counter);
        const std::uint64_t mixed = static_cast<std::uint64_t>(counter.QuadPart) * 1099511628211ULL ^
                                    static_cast<std::uint64_t>(GetCurrentProcessId()) << 32;
        for (std::size_t i = 0; i < sizeof bytes; ++i) {
            bytes[i] = static_cast<unsigned char>(mixed >> (8 * i));
        }
    }
    std::uint64_t value = 0;
    for (const unsigned char byte : bytes) {
        value = value << 8 | byte;
    }
    return ClassDataCache::hexText(value);
}

WideString cacheDirectory(const WideString& applicationName, WideString& why) {
    WideString base;
    if (!platform::environmentVariable(L"LOCALAPPDATA", base) || !FileUtils::isAbsolutePath(base)) {
        why = L"LOCALAPPDATA is not an absolute path";
        return WideString();
    }
    // A folder of the launcher's own: %LOCALAPPDATA%\<application> is also where applications
    // keep their data, and an uninstaller can empty this one without touching theirs.
    const WideString directory = FileUtils::joinPath(FileUtils::joinPath(base, applicationName), L"ClassData");
    return makeDirectories(directory, why) ? directory : WideString();
}

ClassDataCache::FileStamp stamp(const WideString& path) {
    ClassDataCache::FileStamp result;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
        !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        result.exists = true;
        result.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        result.modified = static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
            data.ftLastWriteTime.dwLowDateTime);
    }
    return result;
}

std::int64_t now() {
    FILETIME time{};
    GetSystemTimeAsFileTime(&time);
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                     time.dwLowDateTime);
}

std::int64_t oneMinute() {
    return 60LL * 10000000;
}

WideStringList directoryEntries(const WideString& directory) {
    WideStringList names;
    WIN32_FIND_DATAW found{};
    const ScopedFind listing(FindFirstFileW(FileUtils::joinPath(directory, L"*").c_str(), &found));
    if (!listing) {
        return names;
    }
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileW(listing.get(), &found));
    return names;
}

bool readSmallFile(const WideString& path, std::size_t limit, std::string& bytes) {
    const ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    bytes.clear();
    char buffer[4096];
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &count, nullptr)) {
            return false;
        }
        if (count == 0) {
            return true;
        }
        bytes.append(buffer, count);
        if (bytes.size() > limit) {
            return false;
        }
    }
}

bool writeNewFile(const WideString& path, const std::string& bytes, WideString& why) {
    const ScopedHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        why = failure(L"CreateFileW", path);
        return false;
    }
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        why = failure(L"WriteFile", path);
        return false;
    }
    return true;
}

bool createNewFile(const WideString& path, WideString& why) {
    const ScopedHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        why = failure(L"CreateFileW", path);
        return false;
    }
    return true;
}

bool moveReplacing(const WideString& from, const WideString& to, WideString& why) {
    makeWritable(to);
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        why = failure(L"MoveFileExW", from + L" -> " + to);
        return false;
    }
    return true;
}

void removeFile(const WideString& path) {
    makeWritable(path);
    DeleteFileW(path.c_str());
}

void touch(const WideString& path) {
    const ScopedHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FILETIME time{};
    GetSystemTimeAsFileTime(&time);
    if (file) {
        SetFileTime(file.get(), nullptr, nullptr, &time);
    }
}

void sleepMilliseconds(unsigned milliseconds) {
    Sleep(milliseconds);
}

std::uint64_t freeBytes(const WideString& directory) {
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(directory.c_str(), &available, nullptr, nullptr)) {
        return 0;
    }
    return available.QuadPart;
}

void atProcessExit(void (*function)()) {
    std::atexit(function);
    // The runtime ends the process (System.exit) through the exit function
    // of the universal C runtime, which runs that C runtime's handlers, not
    // those of the one this program is linked with. The library stays
    // loaded: the handler table lives in it.
    const HMODULE ucrt = LoadLibraryW(FileUtils::joinPath(SysInfo::systemDirectory(), L"ucrtbase.dll").c_str());
    using Register = int(__cdecl*)(void(__cdecl*)());
    const auto registerHandler =
        ucrt ? reinterpret_cast<Register>(reinterpret_cast<void (*)()>(GetProcAddress(ucrt, "_crt_atexit")))
             : nullptr;
    if (registerHandler) {
        registerHandler(function);
    }
}

std::uint32_t processId() {
    return GetCurrentProcessId();
}

void lowerPriority() {
    // Background mode lowers the disk and memory priority too; only a
    // process itself can enter it.
    if (!SetPriorityClass(GetCurrentProcess(), PROCESS_MODE_BACKGROUND_BEGIN)) {
        SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
    }
}

bool processAlive(std::uint32_t id) {
    const ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    if (!process) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    DWORD code = 0;
    return GetExitCodeProcess(process.get(), &code) && code == STILL_ACTIVE;
}

bool startDetached(const WideString& executable, const WideString& variable, const WideString& value,
                   WideString& why) {
    STARTUPINFOW startupInfo{};
    startupInfo.cb = sizeof startupInfo;
    // No standard handles at all: nothing the creation prints reaches the
    // application's console or pipes.
    startupInfo.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION processInfo{};
    WideString commandLine = L"\"" + executable + L"\"";
    const DWORD flags = DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP | IDLE_PRIORITY_CLASS;
    BOOL created = FALSE;
    {
        const SysInfo::ScopedEnvVariable setting(variable, value);
        // Out of any job this process is in, so that the application's end
        // does not end the creation; a job that forbids it keeps it.
        created = CreateProcessW(executable.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                                 flags | CREATE_BREAKAWAY_FROM_JOB, nullptr, nullptr, &startupInfo, &processInfo);
        if (!created) {
            created = CreateProcessW(executable.c_str(), &commandLine[0], nullptr, nullptr, FALSE, flags, nullptr,
                                     nullptr, &startupInfo, &processInfo);
        }
        if (!created) {
            why = failure(L"CreateProcessW", executable);
        }
    }
    if (!created) {
        return false;
    }
    const ScopedHandle process(processInfo.hProcess);
    const ScopedHandle thread(processInfo.hThread);
    return true;
}

} // namespace ClassDataFiles
