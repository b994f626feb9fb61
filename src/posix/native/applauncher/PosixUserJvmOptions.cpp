// The POSIX half of where the user's JVM options file lives and whose it is.

#include "UserJvmOptions.h"

#include <sys/stat.h>
#include <unistd.h>

#include "FileUtils.h"
#include "Platform.h"
#include "StringBuilder.h"

namespace UserJvmOptions {

// The XDG base directory rule: "$XDG_CONFIG_HOME" when it is an absolute
// path (a relative one is to be ignored), else "$HOME/.config" when HOME is
// absolute.
WideString userConfigDirectory() {
    WideString directory;
    if (platform::environmentVariable(L"XDG_CONFIG_HOME", directory) &&
        FileUtils::isAbsolutePath(directory)) {
        return directory;
    }
    if (platform::environmentVariable(L"HOME", directory) && FileUtils::isAbsolutePath(directory)) {
        return FileUtils::joinPath(directory, L".config");
    }
    return WideString();
}

// Asked of the open file, so that the file checked is the file read.
WideString untrustedFile(std::FILE* stream) {
    struct stat status {};
    if (stream == nullptr || ::fstat(::fileno(stream), &status) != 0) {
        return L"its owner cannot be read";
    }
    if (status.st_uid != ::geteuid()) {
        return (StringBuilder() << "it belongs to user " << status.st_uid << ", not to user "
                                << ::geteuid() << " who runs the launcher")
            .text();
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return (StringBuilder() << "others may write it (mode "
                                << WideString(1, L'0' + ((status.st_mode >> 6) & 7))
                                << WideString(1, L'0' + ((status.st_mode >> 3) & 7))
                                << WideString(1, L'0' + (status.st_mode & 7)) << ")")
            .text();
    }
    return WideString();
}

} // namespace UserJvmOptions
