// The POSIX half of opening a file for reading.

#include "FileUtils.h"

#include <fstream>
#include <streambuf>

namespace {

// Reads the file through a filebuf and drops the CR of every CR LF pair, as
// the Windows runtime's text mode does: a config file saved on Windows then
// gives the same values here. A lone CR stays, and 0x1A is an ordinary
// byte. Read errors of the filebuf reach the stream unchanged.
class CrLfFilterBuffer : public std::streambuf {
public:
    bool open(const std::string& path) { return file.open(path, std::ios::in | std::ios::binary); }

protected:
    int_type underflow() override {
        if (gptr() < egptr()) {
            return traits_type::to_int_type(*gptr());
        }
        std::streamsize kept = 0;
        // A chunk of one dropped CR leaves nothing: read on.
        while (kept == 0) {
            const std::streamsize read = file.sgetn(chunk, sizeof(chunk));
            if (read <= 0) {
                return traits_type::eof();
            }
            for (std::streamsize i = 0; i < read; ++i) {
                if (chunk[i] == '\r') {
                    // The pair may straddle two chunks: look at the next byte.
                    const bool pair = i + 1 < read ? chunk[i + 1] == '\n'
                                                   : file.sgetc() == traits_type::to_int_type('\n');
                    if (pair) {
                        continue;
                    }
                }
                chunk[kept++] = chunk[i];
            }
        }
        setg(chunk, chunk, chunk + kept);
        return traits_type::to_int_type(*gptr());
    }

private:
    std::filebuf file;
    char chunk[8192];
};

class FilteredInputFile : public std::istream {
public:
    explicit FilteredInputFile(const std::string& path) : std::istream(nullptr) {
        if (buffer.open(path)) {
            rdbuf(&buffer);
        }
    }

private:
    CrLfFilterBuffer buffer;
};

} // namespace

namespace FileUtils {

std::unique_ptr<std::istream> openInputFile(const WideString& path) {
    // errno is left as the failed open set it.
    return std::make_unique<FilteredInputFile>(tstrings::wideToUtf8(path));
}

} // namespace FileUtils
