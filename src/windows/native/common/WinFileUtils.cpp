#include "FileUtils.h"

#include <cstdlib>
#include <direct.h>
#include <stdexcept>
#include <vector>

#include "ErrorHandling.h"
#include "ScopedResource.h"
#include "StringBuilder.h"
#include "WinSys.h"

namespace {

// Text that the C runtime allocated.
using RuntimeText = ScopedMallocMemory<wchar_t>;

} // namespace

namespace FileUtils {

bool isAbsolutePath(const WideString& path) {
    // "C:\x" and "\\server\share" (or "\\?\"); "\x" depends on the
    // current drive and "C:x" on that drive's current directory.
    if (path.size() >= 3 && path[1] == L':' && isPathSeparator(path[2])) {
        const wchar_t drive = path[0];
        return (drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z');
    }
    return path.size() >= 2 && isPathSeparator(path[0]) && isPathSeparator(path[1]);
}

bool pathExists(const WideString& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

WideString toAbsolutePath(const WideString& path) {
    if (path.empty()) {
        RuntimeText cwd(_wgetcwd(nullptr, 1));
        if (!cwd) {
            throwWithPosition(std::runtime_error("_tgetcwd() failed"));
        }
        WideString result(cwd.get());
        if (result.empty()) {
            throwWithPosition(std::runtime_error("_tgetcwd() returned empty string"));
        }
        return result;
    }

    RuntimeText full(_wfullpath(nullptr, path.c_str(), 1));
    if (full) {
        return full.get();
    }
    // When it allocates, the runtime gives itself only MAX_PATH characters,
    // so a longer result fails there; retry with a buffer of the size the
    // system asks for.
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed > 0) {
        std::vector<wchar_t> buffer(needed);
        if (_wfullpath(buffer.data(), path.c_str(), buffer.size())) {
            return buffer.data();
        }
    }
    throwWithPosition(std::runtime_error(
        (StringBuilder() << "_tfullpath(" << path << ") failed").utf8()));
}

} // namespace FileUtils
