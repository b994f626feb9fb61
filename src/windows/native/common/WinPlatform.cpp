// The Windows half of what the platform-neutral code asks of the OS.

#include "Platform.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "WinPlatform.h"
#include "WinSys.h"

namespace platform {

const wchar_t pathSeparator = L'\\';

int multiByteToWide(unsigned codePage, const char* bytes, int count, wchar_t* out, int outSize) {
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, count, out, outSize);
}

int wideToMultiByte(unsigned codePage, const wchar_t* text, int count, char* out, int outSize,
                    bool* exact) {
    if (!exact) {
        return WideCharToMultiByte(codePage, 0, text, count, out, outSize, nullptr, nullptr);
    }
    const unsigned actual = codePage == CP_ACP ? GetACP() : codePage;
    if (actual == CP_UTF8) {
        // UTF-8 takes neither the best-fit flag nor the default-character
        // check; only an unpaired surrogate has no form there.
        const int strict =
            WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, count, out, outSize, nullptr, nullptr);
        *exact = strict != 0 || count == 0;
        return strict ? strict : WideCharToMultiByte(CP_UTF8, 0, text, count, out, outSize, nullptr, nullptr);
    }
    BOOL usedDefault = FALSE;
    const int written = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text, count, out, outSize,
                                            nullptr, &usedDefault);
    *exact = !usedDefault;
    return written;
}

// Windows names files with UTF-16: bytes that are not UTF-8 here come from
// another code page, whose most common one, Latin-1, this reads right.
WideString undecodedBytesToWide(const std::string& bytes) {
    WideString result;
    result.reserve(bytes.size());
    for (const char byte : bytes) {
        result += static_cast<wchar_t>(static_cast<unsigned char>(byte));
    }
    return result;
}

unsigned ansiCodePage() {
    return GetACP();
}

int boundedWidePrintf(wchar_t* buffer, std::size_t size, const wchar_t* format, va_list args) {
    // The runtime library's printf, not MinGW's C99 one; "%ls" is wide in both.
    return _vsnwprintf_s(buffer, size, _TRUNCATE, format, args);
}

void printToStandardError(const char* format, va_list args) {
    __ms_vfprintf(stderr, format, args);
}

LocalTime localTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return LocalTime{now.wYear, now.wMonth,  now.wDayOfWeek, now.wDay,
                     now.wHour, now.wMinute, now.wSecond,    now.wMilliseconds};
}

std::uint32_t processId() {
    return GetCurrentProcessId();
}

std::uint32_t threadId() {
    return GetCurrentThreadId();
}

DWORD readModuleFileName(HMODULE module, WideString& path) {
    WideString buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, &buffer[0], static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return GetLastError();
        }
        // A cut path fills the buffer completely.
        if (length < buffer.size()) {
            buffer.resize(length);
            path = buffer;
            return ERROR_SUCCESS;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool ownModulePath(WideString& path) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ownModulePath), &module)) {
        return false;
    }
    return readModuleFileName(module, path) == ERROR_SUCCESS;
}

bool errnoDescription(int errorNumber, wchar_t* buffer, std::size_t size) {
    return _wcserror_s(buffer, size, errorNumber) == 0;
}

DWORD readEnvironmentVariable(const wchar_t* name, WideString& value) {
    // Short values, the usual case, take one call.
    WideString buffer(10, L'\0');
    // The value may change between the calls; a few rounds settle it.
    for (int attempt = 0; attempt < 4; ++attempt) {
        // An empty value returns 0 too, with the last error untouched.
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetEnvironmentVariableW(name, &buffer[0], static_cast<DWORD>(buffer.size()));
        const DWORD error = GetLastError();
        if (length == 0 && error != ERROR_SUCCESS) {
            return error;
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            value = buffer;
            return ERROR_SUCCESS;
        }
        // Did not fit: length is the size it needs, NUL included.
        buffer.resize(length);
    }
    return ERROR_MORE_DATA;
}

bool environmentVariable(const wchar_t* name, WideString& value) {
    return readEnvironmentVariable(name, value) == ERROR_SUCCESS;
}

} // namespace platform
