// The POSIX half of what the launcher asks of the running process.

#include "SysInfo.h"

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "ErrorHandling.h"
#include "Platform.h"
#include "StringBuilder.h"

namespace SysInfo {

WideString executablePath() {
    // /proc/self/exe: the kernel's absolute path of the executable, with
    // every symbolic link resolved.
    WideString path;
    if (!platform::ownModulePath(path)) {
        throwErrnoOfCall(readlink, "/proc/self/exe");
    }
    return path;
}

WideString envVariable(const WideString& name) {
    WideString value;
    if (!platform::environmentVariable(name.c_str(), value)) {
        throwWithPosition(std::runtime_error(
            (StringBuilder() << "getenv(" << name << ") failed. Variable not set").utf8()));
    }
    return value;
}

WideString envVariableOr(const WideString& name, const WideString& fallback) {
    WideString value;
    return platform::environmentVariable(name.c_str(), value) ? value : fallback;
}

void setEnvVariable(const WideString& name, const WideString& value) {
    if (::setenv(tstrings::wideToUtf8(name).c_str(), tstrings::wideToUtf8(value).c_str(), 1) != 0) {
        throwErrnoOfCall(setenv, name << ", " << value);
    }
}

void unsetEnvVariable(const WideString& name) {
    if (::unsetenv(tstrings::wideToUtf8(name).c_str()) != 0) {
        throwErrnoOfCall(unsetenv, name);
    }
}

} // namespace SysInfo
