// The POSIX half of the single instance: a Unix-domain socket in a
// directory of the user's own, and a peer that must run as the same user.

#include "SingleInstance.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include "ErrorHandling.h"
#include "Log.h"
#include "Platform.h"
#include "ScopedDescriptor.h"
#include "StringBuilder.h"
#include "SysInfo.h"

namespace {

// "$XDG_RUNTIME_DIR/vantorix" when that directory is the user's own (the
// session manager makes it, mode 0700), else "/tmp/vantorix-<uid>", which
// the instance makes with mode 0700 and refuses when it is someone else's.
std::string endpointDirectory() {
    WideString runtimeDirectory;
    if (platform::environmentVariable(L"XDG_RUNTIME_DIR", runtimeDirectory) && !runtimeDirectory.empty() &&
        runtimeDirectory[0] == L'/') {
        const std::string path = tstrings::wideToUtf8(runtimeDirectory);
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid()) {
            return path + "/vantorix";
        }
    }
    return "/tmp/vantorix-" + std::to_string(::getuid());
}

// The kernel's login session ("/proc/self/sessionid"), empty when the
// system keeps none: a start from another login is an instance of its own.
std::string loginSession() {
    const ScopedDescriptor file(::open("/proc/self/sessionid", O_RDONLY | O_CLOEXEC));
    if (!file) {
        return std::string();
    }
    char buffer[16];
    const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count <= 0) {
        return std::string();
    }
    const std::string session(buffer, static_cast<std::size_t>(count));
    // (unsigned)-1: the process belongs to no login session.
    return session == "4294967295" ? std::string() : session;
}

WideString endpointOf(const WideString& applicationName) {
    const std::string session = loginSession();
    const std::string path = endpointDirectory() + "/" + tstrings::wideToUtf8(applicationName) +
                             (session.empty() ? "" : "-" + session) + ".sock";
    if (path.size() >= sizeof(sockaddr_un{}.sun_path)) {
        logTrace("Single instance: the endpoint \"" << path << "\" is longer than a socket path may be; "
                                                    << "every start is an instance of its own");
        return WideString();
    }
    return tstrings::utf8OrBytesToWide(path);
}

class SocketConnection : public StreamConnection {
public:
    SocketConnection(ScopedDescriptor socket, const WideString& endpoint)
        : StreamConnection(endpoint), socket(std::move(socket)) {}

private:
    std::size_t sendSome(const char* data, std::size_t size) override {
        for (;;) {
            const ssize_t sent = ::send(socket.get(), data, size, MSG_NOSIGNAL);
            if (sent >= 0) {
                return static_cast<std::size_t>(sent);
            }
            if (errno != EINTR) {
                throwErrnoOfCall(send, endpoint);
            }
        }
    }

    std::size_t receiveSome(char* data, std::size_t size) override {
        for (;;) {
            const ssize_t received = ::recv(socket.get(), data, size, 0);
            if (received >= 0) {
                return static_cast<std::size_t>(received);
            }
            if (errno != EINTR) {
                throwErrnoOfCall(recv, endpoint);
            }
        }
    }

    ScopedDescriptor socket;
};

std::unique_ptr<InstanceConnection> connectTo(const WideString& endpoint) {
    ScopedDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket) {
        throwErrnoOfCall(socket, "AF_UNIX, SOCK_STREAM");
    }
    // Bounds connect too: a full backlog makes it wait for the send timeout.
    const auto milliseconds = instanceCallTimeout.count();
    timeval timeout{};
    timeout.tv_sec = static_cast<time_t>(milliseconds / 1000);
    timeout.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
    for (const int option : {SO_SNDTIMEO, SO_RCVTIMEO}) {
        if (::setsockopt(socket.get(), SOL_SOCKET, option, &timeout, sizeof timeout) != 0) {
            throwErrnoOfCall(setsockopt, endpoint);
        }
    }

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = tstrings::wideToUtf8(endpoint);
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    // No retry on EINTR: the connection would go on without us, and the
    // start simply runs on its own.
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ECONNREFUSED) {
            // A crashed instance leaves its socket file: refused at once.
            errno = error;
            throwWithPosition(std::runtime_error(
                (StringBuilder() << "no instance listens at \"" << endpoint << "\" (" << errnoText()
                                 << "): none runs, or it has not called Instances.onForward")
                    .utf8()));
        }
        errno = error;
        throwErrnoOfCall(connect, endpoint);
    }

    // Arguments go only to a process of the same user.
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(socket.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
        throwErrnoOfCall(getsockopt, endpoint << ", SO_PEERCRED");
    }
    if (peer.uid != ::getuid()) {
        throwWithPosition(std::runtime_error(
            (StringBuilder() << "the process at \"" << endpoint << "\" runs as user " << peer.uid
                             << ", not as this user")
                .utf8()));
    }
    return std::make_unique<SocketConnection>(std::move(socket), endpoint);
}

WideString currentDirectory() {
    const ScopedMallocMemory<char> path(::getcwd(nullptr, 0));
    if (!path) {
        throwErrnoOfCall(getcwd, "");
    }
    return tstrings::utf8OrBytesToWide(path.get());
}

} // namespace

InstanceLink systemInstanceLink() {
    InstanceLink link;
    link.endpoint = endpointOf;
    link.connect = connectTo;
    link.workingDirectory = currentDirectory;
    return link;
}
