// The POSIX half of opening a file for reading.

#include "FileUtils.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "ScopedDescriptor.h"
#include "ScopedResource.h"

namespace {

// Drops the CR of every CR LF pair, as the Windows runtime's text mode
// does: a config file saved on Windows then gives the same values here. A
// lone CR stays, and 0x1A is an ordinary byte.
class FilteredInputFile : public FileUtils::InputFile {
public:
    using InputFile::InputFile;

protected:
    long readBytes(char* buffer, std::size_t size) override {
        std::size_t kept = 0;
        // A chunk of one held-back CR gives nothing yet: read on.
        while (kept == 0) {
            // A CR at the end of the last chunk waits for the byte after it.
            if (heldCr) {
                buffer[kept++] = '\r';
                heldCr = false;
            }
            const long count = InputFile::readBytes(buffer + kept, size - kept);
            if (count < 0) {
                return -1;
            }
            if (count == 0) {
                return static_cast<long>(kept);
            }
            const std::size_t total = kept + static_cast<std::size_t>(count);
            kept = 0;
            for (std::size_t i = 0; i < total; ++i) {
                if (buffer[i] == '\r') {
                    if (i + 1 == total) {
                        heldCr = true;
                        continue;
                    }
                    if (buffer[i + 1] == '\n') {
                        continue;
                    }
                }
                buffer[kept++] = buffer[i];
            }
        }
        return static_cast<long>(kept);
    }

private:
    bool heldCr = false;
};

} // namespace

namespace FileUtils {

std::unique_ptr<InputFile> openInputFile(const WideString& path) {
    // Opened without blocking, and refused unless it is a regular file or a
    // directory (whose read then fails as before): a FIFO or a device put
    // where a config or options file belongs would otherwise hold the launch
    // at the open or the first read. errno is left as the failed call set it
    // (EINVAL for the refused kinds).
    ScopedDescriptor fd(::open(tstrings::wideToUtf8(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (!fd || ::fstat(fd.get(), &status) != 0) {
        return nullptr;
    }
    if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) {
        errno = EINVAL;
        return nullptr;
    }
    if (::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK) != 0) {
        return nullptr;
    }
    ScopedFile file(::fdopen(fd.get(), "rb"));
    if (!file) {
        return nullptr;
    }
    // The stream closes the descriptor from now on.
    fd.release();
    return std::make_unique<FilteredInputFile>(std::move(file));
}

} // namespace FileUtils
