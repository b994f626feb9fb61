// The POSIX half of the branding tool's file operations.

#include "BrandFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "ErrorHandling.h"
#include "ScopedDescriptor.h"
#include "StringBuilder.h"
#include "Toolbox.h"

namespace {

constexpr off_t largestFile = 256 * 1024 * 1024;

[[noreturn]] void failed(const char* what, const WideString& path) {
    const std::string error = errnoText();
    throwWithPosition(
        std::runtime_error((StringBuilder() << what << " \"" << path << "\": " << error).utf8()));
}

std::string bytesOf(const WideString& path) {
    return tstrings::wideToUtf8(path);
}

} // namespace

namespace BrandFiles {

std::string readFile(const WideString& path) {
    ScopedDescriptor file(::open(bytesOf(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!file) {
        failed("Cannot open", path);
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        failed("Cannot read", path);
    }
    if (!S_ISREG(info.st_mode)) {
        errno = EINVAL;
        failed("Cannot read", path);
    }
    if (info.st_size > largestFile) {
        throwWithPosition(std::runtime_error((StringBuilder() << "\"" << path << "\" is too large").utf8()));
    }
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::read(file.get(), &bytes[done], bytes.size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            failed("Cannot read", path);
        }
        done += static_cast<std::size_t>(count);
    }
    return bytes;
}

bool writeNewFile(const WideString& path, const std::string& bytes, const WideString& model) {
    // O_EXCL fails on anything already there, a link included, which is
    // never followed.
    ScopedDescriptor file(::open(bytesOf(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                 S_IRUSR | S_IWUSR));
    if (!file) {
        if (errno == EEXIST) {
            return false;
        }
        failed("Cannot create", path);
    }
    AtEndOfScope removeNew([&path] { removeFile(path); });
    struct stat info {};
    if (::stat(bytesOf(model).c_str(), &info) == 0 &&
        ::fchmod(file.get(), info.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO)) != 0) {
        failed("Cannot set the permissions of", path);
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(file.get(), bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            failed("Cannot write", path);
        }
        done += static_cast<std::size_t>(count);
    }
    if (::fsync(file.get()) != 0 || ::close(file.release()) != 0) {
        failed("Cannot write", path);
    }
    removeNew.cancel();
    return true;
}

void removeFile(const WideString& path) noexcept {
    ::unlink(bytesOf(path).c_str());
}

void replaceFile(const WideString& from, const WideString& to) {
    if (::rename(bytesOf(from).c_str(), bytesOf(to).c_str()) != 0) {
        const std::string error = errnoText();
        throwWithPosition(std::runtime_error(
            (StringBuilder() << "Cannot move \"" << from << "\" to \"" << to << "\": " << error).utf8()));
    }
}

} // namespace BrandFiles
