#pragma once

// What the launcher asks of the running process: its executable, command
// line, environment and the system directory. Failures throw VxError<SysError>
// on Windows, VxError<std::runtime_error> on POSIX, whose half has the
// executable path and the environment only (the Linux launcher takes its
// arguments from main).

#include "tstrings.h"

namespace SysInfo {

enum CommandArgsMode { WithProgramName = 0, WithoutProgramName = 1 };

WideString executablePath();
WideStringList getCommandArgs(CommandArgsMode mode = WithoutProgramName);

// Throws when the variable is not set; an empty value counts as set.
WideString envVariable(const WideString& name);
// The fallback when the variable is not set or cannot be read.
WideString envVariableOr(const WideString& name, const WideString& fallback);
void setEnvVariable(const WideString& name, const WideString& value);
void unsetEnvVariable(const WideString& name);

// Sets a variable for the object's lifetime and then puts back what was
// there before (a value, or none). Throws when the variable cannot be set;
// a failure to put it back is logged.
class [[nodiscard]] ScopedEnvVariable {
public:
    ScopedEnvVariable(const WideString& name, const WideString& value);
    ~ScopedEnvVariable();
    ScopedEnvVariable(const ScopedEnvVariable&) = delete;
    ScopedEnvVariable& operator=(const ScopedEnvVariable&) = delete;

private:
    WideString name;
    WideString previous;
    bool wasSet;
};

// The system directory without trailing separators.
WideString systemDirectory();

} // namespace SysInfo
