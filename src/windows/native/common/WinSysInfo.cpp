#include "SysInfo.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <vector>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "StringBuilder.h"
#include "WinErrorHandling.h"
#include "WinSys.h"

#include <shellapi.h>

namespace SysInfo {

namespace {

struct LocalFreeDeleter {
    void operator()(LPWSTR* array) const { LocalFree(array); }
};

using SystemDirFunction = UINT(WINAPI*)(LPWSTR, UINT);

// Size of the first buffer of the environment reads: short values, the
// usual case, take one call.
constexpr DWORD initialEnvBufferSize = 10;

WideString getModulePath(HMODULE module) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            const DWORD err = GetLastError();
            throwWithPosition(SysError(StringBuilder() << "GetModuleFileName failed",
                                       reinterpret_cast<const void*>(&GetModuleFileNameW), err));
        }
        // A cut path fills the buffer completely.
        if (length < buffer.size()) {
            return WideString(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

// Tells a variable that is not set (ERROR_ENVVAR_NOT_FOUND) from one set to
// the empty string (length 0, last error untouched). With a flag, failures
// set it and give an empty value instead of throwing.
WideString getEnvVariableImpl(const WideString& name, bool* failed) {
    std::vector<wchar_t> buffer(initialEnvBufferSize);
    SetLastError(ERROR_SUCCESS);
    DWORD size = GetEnvironmentVariableW(name.c_str(), buffer.data(), initialEnvBufferSize);
    DWORD err = GetLastError();
    if (err == ERROR_ENVVAR_NOT_FOUND) {
        if (failed) {
            *failed = true;
            return WideString();
        }
        throwWithPosition(SysError(StringBuilder() << "GetEnvironmentVariable(" << name
                                                   << ") failed. Variable not set",
                                   reinterpret_cast<const void*>(&GetEnvironmentVariableW), err));
    }
    // A value that does not fit gives the size it needs, NUL included.
    if (size > initialEnvBufferSize) {
        buffer.resize(size);
        SetLastError(ERROR_SUCCESS);
        size = GetEnvironmentVariableW(name.c_str(), buffer.data(), size);
        err = GetLastError();
        if (err != ERROR_SUCCESS) {
            if (failed) {
                *failed = true;
                return WideString();
            }
            throwWithPosition(
                SysError(StringBuilder() << "GetEnvironmentVariable(" << name << ") failed",
                         reinterpret_cast<const void*>(&GetEnvironmentVariableW), err));
        }
    }
    if (failed) {
        *failed = false;
    }
    // Up to the first NUL, never past the buffer.
    return WideString(buffer.begin(), std::find(buffer.begin(), buffer.end(), L'\0'));
}

WideString getSystemDirImpl(SystemDirFunction function, const char* label) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const UINT result = function(buffer.data(), static_cast<UINT>(buffer.size()));
        if (result == 0) {
            const DWORD err = GetLastError();
            throwWithPosition(SysError(StringBuilder() << label << " failed",
                                       reinterpret_cast<const void*>(function), err));
        }
        if (result < buffer.size()) {
            return FileUtils::trimTrailingSeparators(WideString(buffer.data()));
        }
        // Too small: the result is the size needed, NUL excluded or not.
        buffer.resize(result + 1);
    }
    throwWithPosition(
        std::runtime_error((StringBuilder() << "Unexpected reply from " << label).utf8()));
}

} // namespace

WideString executablePath() {
    return FileUtils::toAbsolutePath(getModulePath(nullptr));
}

WideStringList getCommandArgs(CommandArgsMode mode) {
    int count = 0;
    LPWSTR* raw = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!raw) {
        const DWORD err = GetLastError();
        throwWithPosition(SysError(StringBuilder() << "CommandLineToArgvW failed",
                                   reinterpret_cast<const void*>(&CommandLineToArgvW), err));
    }
    std::unique_ptr<LPWSTR, LocalFreeDeleter> args(raw);

    WideStringList result;
    for (int i = mode == WithoutProgramName ? 1 : 0; i < count; ++i) {
        result.emplace_back(args.get()[i]);
    }
    return result;
}

WideString envVariable(const WideString& name) {
    return getEnvVariableImpl(name, nullptr);
}

WideString envVariableOr(const WideString& name, const WideString& fallback) {
    bool failed = false;
    WideString value = getEnvVariableImpl(name, &failed);
    return failed ? fallback : value;
}

void setEnvVariable(const WideString& name, const WideString& value) {
    if (!SetEnvironmentVariableW(name.c_str(), value.c_str())) {
        const DWORD err = GetLastError();
        throwWithPosition(SysError(StringBuilder() << "SetEnvironmentVariable(" << name << ", "
                                                   << value << ") failed",
                                   reinterpret_cast<const void*>(&SetEnvironmentVariableW), err));
    }
}

WideString systemDirectory() {
    return getSystemDirImpl(&GetSystemDirectoryW, "GetSystemDirectory");
}

} // namespace SysInfo
