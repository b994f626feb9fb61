// The Windows half of opening a file for reading.

#include "FileUtils.h"

#include <cerrno>
#include <cstdio>
#include <ext/stdio_filebuf.h>
#include <share.h>

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

// MinGW's libstdc++ opens no stream by a wide path, so the runtime opens the
// file: text mode ("rt": CR LF is read as LF, a lone CR stays, byte 0x1A
// ends the file), and nobody is denied reading or writing it.
class RuntimeInputFile : public std::istream {
public:
    explicit RuntimeInputFile(FILE* opened)
        : std::istream(nullptr), file(opened), buffer(opened, std::ios::in) {
        rdbuf(&buffer);
    }

private:
    // Declared first, so that the buffer is gone before the file is closed.
    std::unique_ptr<FILE, FileCloser> file;
    __gnu_cxx::stdio_filebuf<char> buffer;
};

} // namespace

namespace FileUtils {

std::unique_ptr<std::istream> openInputFile(const WideString& path) {
    FILE* const file = _wfsopen(path.c_str(), L"rt", _SH_DENYNO);
    const int error = errno;
    std::unique_ptr<std::istream> stream;
    if (file) {
        stream = std::make_unique<RuntimeInputFile>(file);
    } else {
        // Without a buffer the stream is bad from the start.
        stream = std::make_unique<std::istream>(nullptr);
    }
    errno = error;
    return stream;
}

} // namespace FileUtils
