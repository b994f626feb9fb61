#pragma once

// Sets or unsets an environment variable for the lifetime of the guard and
// restores the previous state, through the C runtime so that both getenv and
// the OS environment see the change.

#include <cstdlib>
#include <string>

class ScopedEnvironment {
public:
    // value == nullptr unsets the variable.
    ScopedEnvironment(const char* name, const char* value) : name(name) {
        const char* previous = std::getenv(name);
        hadValue = previous != nullptr;
        if (hadValue) {
            saved = previous;
        }
        set(value);
    }
    ~ScopedEnvironment() { set(hadValue ? saved.c_str() : nullptr); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void set(const char* value) {
#ifdef _WIN32
        // _putenv_s with an empty value removes the variable; an empty value
        // that must stay set is not needed by these tests.
        _putenv_s(name.c_str(), value ? value : "");
#else
        if (value) {
            setenv(name.c_str(), value, 1);
        } else {
            unsetenv(name.c_str());
        }
#endif
    }

    std::string name;
    std::string saved;
    bool hadValue = false;
};
