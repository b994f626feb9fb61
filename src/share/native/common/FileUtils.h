#pragma once

// Path operations. Separators are '\\' and '/'; joining writes '\\'. Only
// toAbsolutePath resolves "." and ".." segments.

#include "tstrings.h"

namespace FileUtils {

bool isPathSeparator(wchar_t ch);
WideString trimTrailingSeparators(const WideString& path);
WideString joinPath(const WideString& a, const WideString& b);
WideString fileNameOf(const WideString& path);
WideString directoryOf(const WideString& path);
WideString dropSuffix(const WideString& path);

// OS half. Any entry counts, a directory too; failures count as missing.
bool pathExists(const WideString& path);
// OS half. Throws VxError<std::runtime_error>.
WideString toAbsolutePath(const WideString& path);

} // namespace FileUtils

// Accumulates path components with FileUtils::joinPath.
class PathBuilder {
public:
    PathBuilder& operator<<(const WideString& component) {
        path = FileUtils::joinPath(path, component);
        return *this;
    }
    const WideString& text() const { return path; }
    operator const WideString&() const { return path; }

private:
    WideString path;
};
