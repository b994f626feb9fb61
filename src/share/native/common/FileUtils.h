#pragma once

// Path operations. Separators are '\\' and '/'; joining writes the OS's own
// (platform::pathSeparator: '\\' on Windows, '/' on POSIX). Only
// toAbsolutePath resolves "." and ".." segments.

#include <istream>
#include <memory>

#include "tstrings.h"

namespace FileUtils {

bool isPathSeparator(wchar_t ch);
WideString trimTrailingSeparators(const WideString& path);
WideString joinPath(const WideString& a, const WideString& b);
WideString fileNameOf(const WideString& path);
WideString directoryOf(const WideString& path);
WideString dropSuffix(const WideString& path);
// Appends an element to a separator-delimited search list ("PATH") without
// ever making an empty element: an empty element means the current
// directory to the loader. No separator goes before the element when the
// list is empty or already ends in one.
WideString appendToSearchList(const WideString& list, const WideString& element, wchar_t separator);

// OS half. Whether the path names the same place from any current
// directory (and, on Windows, from any current drive).
bool isAbsolutePath(const WideString& path);

// OS half. Any entry counts, a directory too; failures count as missing.
bool pathExists(const WideString& path);
// OS half. Throws VxError<std::runtime_error>.
WideString toAbsolutePath(const WideString& path);

// OS half. The file as a byte stream for reading, nobody denied reading or
// writing it meanwhile. Lines read from it end at LF, and the CR of a CR LF
// pair is gone. When the file cannot be opened the stream is bad and errno
// tells why.
std::unique_ptr<std::istream> openInputFile(const WideString& path);

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
