// The POSIX half of where the user's JVM options file lives.

#include "UserJvmOptions.h"

#include "FileUtils.h"
#include "Platform.h"

namespace UserJvmOptions {

// The XDG base directory rule: "$XDG_CONFIG_HOME" when it is an absolute
// path (a relative one is to be ignored), else "$HOME/.config".
WideString userConfigDirectory() {
    WideString directory;
    if (platform::environmentVariable(L"XDG_CONFIG_HOME", directory) &&
        FileUtils::isAbsolutePath(directory)) {
        return directory;
    }
    if (platform::environmentVariable(L"HOME", directory) && !directory.empty()) {
        return FileUtils::joinPath(directory, L".config");
    }
    return WideString();
}

} // namespace UserJvmOptions
