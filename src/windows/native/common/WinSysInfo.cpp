#include "SysInfo.h"

#include <stdexcept>
#include <vector>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "ScopedHandle.h"
#include "StringBuilder.h"
#include "WinErrorHandling.h"
#include "WinPlatform.h"
#include "WinSys.h"

#include <shellapi.h>

namespace SysInfo {

namespace {

using SystemDirFunction = UINT(WINAPI*)(LPWSTR, UINT);

WideString getModulePath(HMODULE module) {
    WideString path;
    const DWORD error = platform::readModuleFileName(module, path);
    if (error != ERROR_SUCCESS) {
        throwSysError(&GetModuleFileNameW, error, "GetModuleFileName failed");
    }
    return path;
}

// Tells a variable that is not set (ERROR_ENVVAR_NOT_FOUND) from one set to
// the empty string. With a flag, failures set it and give an empty value
// instead of throwing.
WideString getEnvVariableImpl(const WideString& name, bool* failed) {
    WideString value;
    const DWORD error = platform::readEnvironmentVariable(name.c_str(), value);
    if (failed) {
        *failed = error != ERROR_SUCCESS;
    }
    if (error == ERROR_SUCCESS || failed) {
        return value;
    }
    if (error == ERROR_ENVVAR_NOT_FOUND) {
        throwSysError(&GetEnvironmentVariableW, error,
                      "GetEnvironmentVariable(" << name << ") failed. Variable not set");
    }
    throwSysError(&GetEnvironmentVariableW, error, "GetEnvironmentVariable(" << name << ") failed");
}

WideString getSystemDirImpl(SystemDirFunction function, const char* label) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const UINT result = function(buffer.data(), static_cast<UINT>(buffer.size()));
        if (result == 0) {
            throwLastError(function, label << " failed");
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
    const ScopedLocalMemory<LPWSTR> args(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!args) {
        throwLastError(&CommandLineToArgvW, "CommandLineToArgvW failed");
    }

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
        throwLastError(&SetEnvironmentVariableW,
                       "SetEnvironmentVariable(" << name << ", " << value << ") failed");
    }
}

void unsetEnvVariable(const WideString& name) {
    if (!SetEnvironmentVariableW(name.c_str(), nullptr)) {
        throwLastError(&SetEnvironmentVariableW, "SetEnvironmentVariable(" << name << ") failed");
    }
}

WideString systemDirectory() {
    return getSystemDirImpl(&GetSystemDirectoryW, "GetSystemDirectory");
}

} // namespace SysInfo
