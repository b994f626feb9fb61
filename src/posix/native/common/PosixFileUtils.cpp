// The POSIX half of the path operations.

#include "FileUtils.h"

#include <sys/stat.h>

namespace FileUtils {

bool isAbsolutePath(const WideString& path) {
    return !path.empty() && path[0] == L'/';
}

bool pathExists(const WideString& path) {
    struct stat info {};
    return ::stat(tstrings::wideToUtf8(path).c_str(), &info) == 0;
}

} // namespace FileUtils
