// The Windows half of the single instance: a Unix-domain socket (Winsock's
// AF_UNIX, which the Java runtime's channels also speak) in a directory under
// the user's own "%LOCALAPPDATA%", one per session; the forwarding start
// lets the instance take the foreground.

#include "SingleInstance.h"

#include "WinSys.h"

// afunix.h needs winsock2.h's types.
#include <winsock2.h>

#include <afunix.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Log.h"
#include "ScopedHandle.h"
#include "StringBuilder.h"
#include "SysInfo.h"
#include "WinErrorHandling.h"

namespace {

struct SocketTraits {
    using Type = SOCKET;
    using KeepError = KeepLastError;
    static Type invalid() noexcept { return INVALID_SOCKET; }
    static bool isValid(Type value) noexcept { return value != INVALID_SOCKET; }
    static void close(Type value) noexcept { closesocket(value); }
};
using ScopedSocket = ScopedResource<SocketTraits>;

// Winsock for as long as a connection lives.
class WinsockSession {
public:
    WinsockSession() {
        WSADATA data;
        const int error = WSAStartup(MAKEWORD(2, 2), &data);
        if (error != 0) {
            throwSysErrorOf(WSAStartup, static_cast<DWORD>(error));
        }
    }
    ~WinsockSession() { WSACleanup(); }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
};

bool isAscii(const WideString& text) {
    for (const wchar_t unit : text) {
        if (unit < 0x20 || unit > 0x7E) {
            return false;
        }
    }
    return true;
}

// The Java runtime and Winsock may not agree on how the bytes of a socket
// path spell other characters: the endpoint is ASCII, through the short
// form of "%LOCALAPPDATA%" where its long form is not.
WideString localAppData() {
    WideString directory = SysInfo::envVariableOr(L"LOCALAPPDATA", WideString());
    if (directory.empty() || isAscii(directory)) {
        return directory;
    }
    const DWORD size = GetShortPathNameW(directory.c_str(), nullptr, 0);
    if (size == 0) {
        return directory;
    }
    WideString shortForm(size, L'\0');
    const DWORD written = GetShortPathNameW(directory.c_str(), &shortForm[0], size);
    if (written == 0 || written >= size) {
        return directory;
    }
    shortForm.resize(written);
    return shortForm;
}

WideString endpointOf(const WideString& applicationName) {
    const WideString directory = localAppData();
    if (!FileUtils::isAbsolutePath(directory)) {
        logTrace("Single instance: LOCALAPPDATA names no directory; every start is an instance of its own");
        return WideString();
    }
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) {
        const DWORD error = GetLastError();
        logTrace("Single instance: ProcessIdToSessionId failed (" << systemErrorText(error, nullptr)
                                                                  << "); every start is an instance of its own");
        return WideString();
    }
    const WideString path = (StringBuilder() << FileUtils::joinPath(directory, L"vantorix") << L"\\"
                                             << applicationName << L"-" << session << L".sock")
                                .text();
    if (!isAscii(path) || path.size() >= UNIX_PATH_MAX) {
        logTrace("Single instance: the endpoint \"" << path << "\" is not a socket path that Winsock and the "
                                                    << "Java runtime read alike (ASCII, under " << UNIX_PATH_MAX
                                                    << " characters); every start is an instance of its own");
        return WideString();
    }
    return path;
}

// The failed Winsock call, with the endpoint; out of line, as the one
// place that reads WSAGetLastError.
[[noreturn]] void throwSocketError(const void* function, const char* call, const WideString& endpoint) {
    const auto error = static_cast<DWORD>(WSAGetLastError());
    throwSysError(function, error, call << "(" << endpoint << ") failed");
}

class SocketConnection : public StreamConnection {
public:
    SocketConnection(std::unique_ptr<WinsockSession> session, ScopedSocket socket, const WideString& endpoint)
        : StreamConnection(endpoint), session(std::move(session)), socket(std::move(socket)) {}

private:
    std::size_t sendSome(const char* data, std::size_t size) override {
        const int sent = ::send(socket.get(), data, static_cast<int>(std::min<std::size_t>(size, 64 * 1024)), 0);
        if (sent == SOCKET_ERROR) {
            throwSocketError(reinterpret_cast<const void*>(&::send), "send", endpoint);
        }
        return static_cast<std::size_t>(sent);
    }

    std::size_t receiveSome(char* data, std::size_t size) override {
        const int received = ::recv(socket.get(), data, static_cast<int>(std::min<std::size_t>(size, 64 * 1024)), 0);
        if (received == SOCKET_ERROR) {
            throwSocketError(reinterpret_cast<const void*>(&::recv), "recv", endpoint);
        }
        return static_cast<std::size_t>(received);
    }

    // Declared first: Winsock outlives the socket.
    std::unique_ptr<WinsockSession> session;
    ScopedSocket socket;
};

std::unique_ptr<InstanceConnection> connectTo(const WideString& endpoint) {
    auto session = std::make_unique<WinsockSession>();
    ScopedSocket socket(::socket(AF_UNIX, SOCK_STREAM, 0));
    if (!socket) {
        throwSocketError(reinterpret_cast<const void*>(&::socket), "socket", L"AF_UNIX, SOCK_STREAM");
    }
    const auto callTimeoutMs = static_cast<DWORD>(instanceCallTimeout.count());
    for (const int option : {SO_SNDTIMEO, SO_RCVTIMEO}) {
        if (setsockopt(socket.get(), SOL_SOCKET, option, reinterpret_cast<const char*>(&callTimeoutMs),
                       sizeof callTimeoutMs) != 0) {
            throwSocketError(reinterpret_cast<const void*>(&setsockopt), "setsockopt", endpoint);
        }
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // ASCII, as endpointOf made it.
    const std::string path = tstrings::wideToUtf8(endpoint);
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const DWORD error = static_cast<DWORD>(WSAGetLastError());
        // A crashed instance's socket file is refused at once, as is a missing one.
        throwWithPosition(std::runtime_error(
            (StringBuilder() << "no instance listens at \"" << endpoint << "\" (" << systemErrorText(error, nullptr)
                             << "): none runs, or it has not called Instances.onForward")
                .utf8()));
    }
    return std::make_unique<SocketConnection>(std::move(session), std::move(socket), endpoint);
}

// The system lets a process take the foreground only when the one that has
// it allows this: the forwarding start is the one the user just started.
void permitForeground(std::uint32_t processId) {
    const bool allowed = AllowSetForegroundWindow(processId) != FALSE;
    const DWORD error = GetLastError();
    logTrace("AllowSetForegroundWindow(" << processId
                                         << "): " << (allowed ? WideString(L"OK") : systemErrorText(error, nullptr)));
}

WideString currentDirectory() {
    return FileUtils::toAbsolutePath(WideString());
}

} // namespace

InstanceLink systemInstanceLink() {
    InstanceLink link;
    link.endpoint = endpointOf;
    link.connect = connectTo;
    link.permitForeground = permitForeground;
    link.workingDirectory = currentDirectory;
    return link;
}
