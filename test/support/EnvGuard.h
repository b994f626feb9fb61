#pragma once

// Sets or removes an environment variable for the guard's lifetime and puts
// the previous state back afterwards. It works on the operating system's
// environment, which the launcher reads (on Windows what
// GetEnvironmentVariableW reads; the C runtime's getenv copy is not
// updated), and, unlike _putenv, can set a variable to the empty string.
// On Windows the including target needs windows/native/common on its
// include path.

#include <optional>
#include <utility>

#include "Platform.h"
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
    // Sets the value, or removes the variable for std::nullopt.
    EnvGuard(WideString name, const std::optional<WideString>& value) : EnvGuard(std::move(name)) {
        if (value) {
            set(*value);
        } else {
            unset();
        }
    }
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
#else
    void set(const WideString& value) {
        setenv(tstrings::wideToUtf8(name).c_str(), tstrings::wideToUtf8(value).c_str(), 1);
    }
    void unset() { unsetenv(tstrings::wideToUtf8(name).c_str()); }
#endif

    // The value, or nothing when the variable is not set.
    static std::optional<WideString> read(const WideString& name) {
        WideString value;
        if (!platform::environmentVariable(name.c_str(), value)) {
            return std::nullopt;
        }
        return value;
    }

private:
    WideString name;
    std::optional<WideString> saved;
};
