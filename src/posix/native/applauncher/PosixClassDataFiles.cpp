// The POSIX half of the class-data cache's file and process operations.

#include "ClassDataFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "DecimalText.h"
#include "FileUtils.h"
#include "Platform.h"
#include "ScopedDescriptor.h"

extern char** environ;

namespace ClassDataFiles {

namespace {

std::string bytesOf(const WideString& path) {
    return tstrings::wideToUtf8(path);
}

WideString failure(const char* call, const WideString& path) {
    const int error = errno;
    return tstrings::utf8ToWide(std::string(call) + "(") + path + L") failed: " +
           tstrings::utf8ToWide(std::strerror(error));
}

// mkdir -p, each new directory private to the user.
bool makeDirectories(const WideString& path, WideString& why) {
    const std::string bytes = bytesOf(path);
    for (std::size_t slash = bytes.find('/', 1);; slash = bytes.find('/', slash + 1)) {
        const std::string prefix = bytes.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            why = failure("mkdir", tstrings::utf8ToWide(prefix));
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    struct stat info {};
    if (::stat(bytes.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        why = L"\"" + path + L"\" is not a directory";
        return false;
    }
    return true;
}

// Why the entry (not what a link there points to) is not the user's alone.
WideString untrustedEntry(const WideString& path, bool directory) {
    struct stat info {};
    if (::lstat(bytesOf(path).c_str(), &info) != 0) {
        return failure("lstat", path);
    }
    if (S_ISLNK(info.st_mode)) {
        return L"\"" + path + L"\" is a symbolic link";
    }
    if (directory ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode)) {
        return L"\"" + path + (directory ? L"\" is not a directory" : L"\" is not a regular file");
    }
    if (info.st_uid != ::geteuid()) {
        return L"\"" + path + L"\" belongs to user " + decimalText(info.st_uid) + L", not to user " +
               decimalText(::geteuid()) + L" who runs the launcher";
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return L"\"" + path + L"\" may be written by others (mode " +
               decimalText((info.st_mode >> 6) & 7) + decimalText((info.st_mode >> 3) & 7) +
               decimalText(info.st_mode & 7) + L")";
    }
    return WideString();
}

} // namespace

WideString untrustedDirectory(const WideString& path) {
    return untrustedEntry(path, true);
}

WideString untrustedFile(const WideString& path) {
    return untrustedEntry(path, false);
}

WideString randomText() {
    unsigned char bytes[8] = {};
    const ScopedDescriptor source(::open("/dev/urandom", O_RDONLY | O_CLOEXEC));
    std::size_t have = 0;
    while (source && have < sizeof bytes) {
        const ssize_t count = ::read(source.get(), bytes + have, sizeof bytes - have);
        if (count == 0 || (count < 0 && errno != EINTR)) {
            break;
        }
        have += count > 0 ? static_cast<std::size_t>(count) : 0;
    }
    if (have < sizeof bytes) {
        // Never the only defence: the names are made exclusively, in a
        // directory that is the user's alone.
        timespec time {};
        ::clock_gettime(CLOCK_MONOTONIC, &time);
        const std::uint64_t mixed = static_cast<std::uint64_t>(time.tv_nsec) * 1099511628211ULL ^
                                    static_cast<std::uint64_t>(::getpid()) << 32;
        std::memcpy(bytes, &mixed, sizeof bytes);
    }
    std::uint64_t value = 0;
    for (const unsigned char byte : bytes) {
        value = value << 8 | byte;
    }
    return ClassDataCache::hexText(value);
}

WideString cacheDirectory(const WideString& applicationName, WideString& why) {
    WideString base;
    // Relative values are to be ignored, says the base directory convention.
    if (platform::environmentVariable(L"XDG_CACHE_HOME", base) && FileUtils::isAbsolutePath(base)) {
    } else if (platform::environmentVariable(L"HOME", base) && FileUtils::isAbsolutePath(base)) {
        base = FileUtils::joinPath(base, L".cache");
    } else {
        why = L"neither XDG_CACHE_HOME nor HOME is an absolute path";
        return WideString();
    }
    const WideString directory = FileUtils::joinPath(base, applicationName);
    return makeDirectories(directory, why) ? directory : WideString();
}

ClassDataCache::FileStamp stamp(const WideString& path) {
    ClassDataCache::FileStamp result;
    struct stat info {};
    if (::stat(bytesOf(path).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        result.exists = true;
        result.size = static_cast<std::uint64_t>(info.st_size);
        result.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    }
    return result;
}

std::int64_t now() {
    timespec time {};
    ::clock_gettime(CLOCK_REALTIME, &time);
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

std::int64_t oneMinute() {
    return 60LL * 1000000000;
}

WideStringList directoryEntries(const WideString& directory) {
    WideStringList names;
    const ScopedDirectory listing(::opendir(bytesOf(directory).c_str()));
    if (!listing) {
        return names;
    }
    while (const dirent* entry = ::readdir(listing.get())) {
        names.push_back(tstrings::utf8OrBytesToWide(entry->d_name));
    }
    return names;
}

bool readSmallFile(const WideString& path, std::size_t limit, std::string& bytes) {
    const ScopedDescriptor fd(::open(bytesOf(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return false;
    }
    bytes.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return false;
        }
        if (count == 0) {
            return true;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
        if (bytes.size() > limit) {
            return false;
        }
    }
}

bool writeNewFile(const WideString& path, const std::string& bytes, WideString& why) {
    const ScopedDescriptor fd(
        ::open(bytesOf(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) {
        why = failure("open", path);
        return false;
    }
    if (::write(fd.get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        why = failure("write", path);
        return false;
    }
    return true;
}

bool createNewFile(const WideString& path, WideString& why) {
    const ScopedDescriptor fd(
        ::open(bytesOf(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) {
        why = failure("open", path);
        return false;
    }
    return true;
}

bool moveReplacing(const WideString& from, const WideString& to, WideString& why) {
    if (::rename(bytesOf(from).c_str(), bytesOf(to).c_str()) != 0) {
        why = failure("rename", from + L" -> " + to);
        return false;
    }
    return true;
}

void removeFile(const WideString& path) {
    ::unlink(bytesOf(path).c_str());
}

void touch(const WideString& path) {
    ::utimensat(AT_FDCWD, bytesOf(path).c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
}

void sleepMilliseconds(unsigned milliseconds) {
    timespec time {static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000};
    while (::nanosleep(&time, &time) != 0 && errno == EINTR) {
    }
}

std::uint64_t freeBytes(const WideString& directory) {
    struct statvfs info {};
    if (::statvfs(bytesOf(directory).c_str(), &info) != 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

void atProcessExit(void (*function)()) {
    std::atexit(function);
}

std::uint32_t processId() {
    return static_cast<std::uint32_t>(::getpid());
}

bool processAlive(std::uint32_t id) {
    return ::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

bool startDetached(const WideString& executable, const WideString& variable, const WideString& value,
                   WideString& why) {
    const std::string path = bytesOf(executable);
    const std::string setting = bytesOf(variable) + "=" + bytesOf(value);
    std::vector<char*> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.push_back(*entry);
    }
    environment.push_back(const_cast<char*>(setting.c_str()));
    environment.push_back(nullptr);
    char* const arguments[] = {const_cast<char*>(path.c_str()), nullptr};

    // posix_spawn does not copy this process's memory (a JVM's, at its
    // exit); its own session keeps the child out of the terminal's job
    // control, and the standard streams go nowhere.
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (const int error = ::posix_spawn_file_actions_init(&actions)) {
        errno = error;
        why = failure("posix_spawn_file_actions_init", executable);
        return false;
    }
    ::posix_spawnattr_init(&attributes);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    for (const int stream : {0, 1, 2}) {
        ::posix_spawn_file_actions_addopen(&actions, stream, "/dev/null", O_RDWR, 0);
    }
    pid_t child = 0;
    const int error = ::posix_spawn(&child, path.c_str(), &actions, &attributes, arguments, environment.data());
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        errno = error;
        why = failure("posix_spawn", executable);
        return false;
    }
    return true;
}

void lowerPriority() {
    (void)::setpriority(PRIO_PROCESS, 0, 19);
    sched_param parameters {};
    (void)::sched_setscheduler(0, SCHED_IDLE, &parameters);
    // The idle I/O class: served only when no one else uses the disk.
    constexpr int whoProcess = 1;
    constexpr int idleClass = 3;
    (void)::syscall(SYS_ioprio_set, whoProcess, 0, idleClass << 13);
}

} // namespace ClassDataFiles
