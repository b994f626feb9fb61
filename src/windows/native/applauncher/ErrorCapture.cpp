#include "ErrorCapture.h"

#include <vector>

#include "ErrorHandling.h"
#include "StringBuilder.h"
#include "WinErrorHandling.h"
#include "WinOwnership.h"

namespace {

// A security descriptor whose only entry gives this process's user full
// access: the default one of a named pipe also lets other accounts open it
// and read what the child writes.
class CurrentUserOnly {
public:
    CurrentUserOnly() {
        if (!WinOwnership::currentUser(user)) {
            throwLastErrorOf(GetTokenInformation);
        }
        PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
        acl.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid));
        auto* const list = reinterpret_cast<PACL>(acl.data());
        if (!InitializeAcl(list, static_cast<DWORD>(acl.size()), ACL_REVISION)) {
            throwLastErrorOf(InitializeAcl);
        }
        if (!AddAccessAllowedAce(list, ACL_REVISION, FILE_ALL_ACCESS, sid)) {
            throwLastErrorOf(AddAccessAllowedAce);
        }
        if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) {
            throwLastErrorOf(InitializeSecurityDescriptor);
        }
        if (!SetSecurityDescriptorDacl(&descriptor, TRUE, list, FALSE)) {
            throwLastErrorOf(SetSecurityDescriptorDacl);
        }
        attributes.nLength = sizeof(attributes);
        attributes.lpSecurityDescriptor = &descriptor;
        attributes.bInheritHandle = FALSE;
    }
    CurrentUserOnly(const CurrentUserOnly&) = delete;
    CurrentUserOnly& operator=(const CurrentUserOnly&) = delete;

    SECURITY_ATTRIBUTES* get() { return &attributes; }

private:
    // Heap blocks: aligned as TOKEN_USER and ACL need.
    std::vector<unsigned char> user;
    std::vector<unsigned char> acl;
    SECURITY_DESCRIPTOR descriptor{};
    SECURITY_ATTRIBUTES attributes{};
};

// A name no other pipe has: this process's id and a counter.
WideString uniquePipeName() {
    static unsigned counter = 0;
    return (StringBuilder() << L"\\\\.\\pipe\\vantorix-stderr-" << GetCurrentProcessId() << L"-"
                            << ++counter)
        .text();
}

} // namespace

ErrorCapture::ErrorCapture() {
    const WideString name = uniquePipeName();
    CurrentUserOnly security;
    // Overlapped on our side only: one thread reads while it waits.
    readEnd.reset(CreateNamedPipeW(name.c_str(),
                                   PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED |
                                       FILE_FLAG_FIRST_PIPE_INSTANCE,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT |
                                       PIPE_REJECT_REMOTE_CLIENTS,
                                   1, 0, sizeof(buffer), 0, security.get()));
    if (!readEnd) {
        throwLastErrorOf(CreateNamedPipeW);
    }
    SECURITY_ATTRIBUTES inheritable{};
    inheritable.nLength = sizeof(inheritable);
    inheritable.bInheritHandle = TRUE;
    // Identification only: whoever holds the pipe's other end may learn
    // who writes, never act as them.
    writeEnd.reset(CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                               nullptr));
    if (!writeEnd) {
        throwLastErrorOf(CreateFileW);
    }
    readDone.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!readDone) {
        throwLastErrorOf(CreateEventW);
    }
}

ErrorCapture::~ErrorCapture() {
    if (reading) {
        CancelIoEx(readEnd.get(), &overlapped);
        DWORD count = 0;
        GetOverlappedResult(readEnd.get(), &overlapped, &count, TRUE);
    }
}

void ErrorCapture::startRead() {
    while (open && !reading) {
        overlapped = OVERLAPPED{};
        overlapped.hEvent = readDone.get();
        ResetEvent(readDone.get());
        if (ReadFile(readEnd.get(), buffer, sizeof(buffer), nullptr, &overlapped) ||
            GetLastError() == ERROR_IO_PENDING) {
            reading = true;
            return;
        }
        // Every write end is closed (ERROR_BROKEN_PIPE), or the pipe
        // fails: nothing more will come.
        open = false;
    }
}

// Takes the result of the read in flight; true when it had completed.
bool ErrorCapture::finishRead(bool wait) {
    DWORD count = 0;
    if (!GetOverlappedResult(readEnd.get(), &overlapped, &count, wait ? TRUE : FALSE)) {
        if (GetLastError() == ERROR_IO_INCOMPLETE) {
            return false;
        }
        reading = false;
        open = false;
        return true;
    }
    reading = false;
    keep(buffer, count);
    return true;
}

void ErrorCapture::keep(const char* bytes, std::size_t count) {
    seen += count;
    kept.append(bytes, count);
    if (kept.size() > tailLimit) {
        kept.erase(0, kept.size() - tailLimit);
        cut = true;
    }
}

void ErrorCapture::readUntilEnd(HANDLE process) {
    startRead();
    for (;;) {
        const HANDLE handles[] = {process, readDone.get()};
        const DWORD count = reading ? 2 : 1;
        const DWORD woken = WaitForMultipleObjects(count, handles, FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0) {
            break;
        }
        if (woken != WAIT_OBJECT_0 + 1) {
            throwLastErrorOf(WaitForMultipleObjects);
        }
        finishRead(false);
        startRead();
    }
    // What the child wrote just before it ended is already in the pipe;
    // take that, but do not wait for writers that outlive it. The bound
    // stops a descendant that writes without pause from keeping us here.
    for (int reads = 0; reads < 64 && reading; ++reads) {
        if (!finishRead(false)) {
            break;
        }
        startRead();
    }
    if (reading) {
        CancelIoEx(readEnd.get(), &overlapped);
        finishRead(true);
    }
}

std::string ErrorCapture::tail() const {
    if (!cut) {
        return kept;
    }
    // The cut fell somewhere inside a line, perhaps inside a character.
    const std::size_t lineStart = kept.find('\n');
    return lineStart == std::string::npos ? kept : kept.substr(lineStart + 1);
}
