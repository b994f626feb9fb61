#pragma once

// Sets or removes an environment variable for the guard's lifetime and puts
// the previous state back afterwards. It works on the operating system's
// environment (on Windows what GetEnvironmentVariableW reads; the C
// runtime's getenv copy is not updated) and, unlike _putenv, can set a
// variable to the empty string. On Windows the including target needs
// windows/native/common on its include path.

#include <optional>
#include <utility>

#include "tstrings.h"

#ifdef _WIN32
#include "WinSys.h"
#else
#include <cstdlib>
#endif

class EnvGuard {
public:
    // Only remembers the current state; set() and unset() change it.
    explicit EnvGuard(WideString name) : name(std::move(name)), saved(read(this->name)) {}
    EnvGuard(WideString name, const WideString& value) : EnvGuard(std::move(name)) { set(value); }
    ~EnvGuard() {
        if (saved) {
            set(*saved);
        } else {
            unset();
        }
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

#ifdef _WIN32
    void set(const WideString& value) { SetEnvironmentVariableW(name.c_str(), value.c_str()); }
    void unset() { SetEnvironmentVariableW(name.c_str(), nullptr); }

    // The value, or nothing when the variable is not set.
    static std::optional<WideString> read(const WideString& name) {
        WideString buffer(16, L'\0');
        for (;;) {
            SetLastError(ERROR_SUCCESS);
            const DWORD length =
                GetEnvironmentVariableW(name.c_str(), &buffer[0], static_cast<DWORD>(buffer.size()));
            if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                return std::nullopt;
            }
            if (length < buffer.size()) {
                buffer.resize(length);
                return buffer;
            }
            buffer.resize(length);
        }
    }
#else
    void set(const WideString& value) {
        setenv(tstrings::wideToUtf8(name).c_str(), tstrings::wideToUtf8(value).c_str(), 1);
    }
    void unset() { unsetenv(tstrings::wideToUtf8(name).c_str()); }

    static std::optional<WideString> read(const WideString& name) {
        const char* value = std::getenv(tstrings::wideToUtf8(name).c_str());
        if (!value) {
            return std::nullopt;
        }
        return tstrings::utf8ToWide(value);
    }
#endif

private:
    WideString name;
    std::optional<WideString> saved;
};
