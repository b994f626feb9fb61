#pragma once

// Path operations. Separators are '\\' and '/'; joining writes the OS's own
// (platform::pathSeparator: '\\' on Windows, '/' on POSIX). Only
// toAbsolutePath resolves "." and ".." segments.

#include <cstddef>
#include <string>
#include <vector>
#include <memory>
#include <utility>

#include "ScopedResource.h"
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

// A file read line by line as bytes. Lines end at LF; a last line without
// one is a line too.
class InputFile {
public:
    // Reads the stream, which it owns, as it comes.
    explicit InputFile(ScopedFile stream) : stream(std::move(stream)) {}
    virtual ~InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // The next line, without its LF. False at the end of the file, and on a
    // read error: failed() then tells, and errno why.
    bool readLine(std::string& line);
    // The same, keeping no more than the first maxLength bytes of a line:
    // cut tells whether the line was longer (the rest is skipped unread).
    bool readLine(std::string& line, std::size_t maxLength, bool& cut);
    bool failed() const { return readFailed; }
    // The stream being read, for questions about the open file itself.
    std::FILE* handle() const { return stream.get(); }

protected:
    // The next bytes of the stream: their count, 0 at the end, -1 on a read
    // error (errno set). An OS half may filter them.
    virtual long readBytes(char* buffer, std::size_t size);

private:
    ScopedFile stream;
    std::vector<char> buffer = std::vector<char>(64 * 1024);
    std::size_t next = 0;
    std::size_t end = 0;
    bool atEnd = false;
    bool readFailed = false;
};

// OS half. Opens the file for reading, nobody denied reading or writing it
// meanwhile; the CR of a CR LF pair never reaches a line. Null when it
// cannot be opened, and errno tells why.
std::unique_ptr<InputFile> openInputFile(const WideString& path);

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
