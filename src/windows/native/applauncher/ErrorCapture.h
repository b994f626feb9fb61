#pragma once

// The channel through which the parent of a restart listens to its child's
// standard error, for a launcher that was started without a usable one (a
// double-click): the Java runtime writes why a launch failed there, and the
// parent shows it.

#include <cstddef>
#include <cstdint>
#include <string>

#include "ScopedHandle.h"
#include "WinSys.h"

class ErrorCapture {
public:
    // The most of the child's standard error that is kept: its end.
    static constexpr std::size_t tailLimit = 64 * 1024;

    // A pipe whose inheritable write end is for the child. Throws
    // VxError<SysError> when the system gives none.
    ErrorCapture();
    // A read still in flight is cancelled and waited for: the system must
    // not write into the buffer once it is gone.
    ~ErrorCapture();
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;

    HANDLE childEnd() const { return writeEnd.get(); }
    // After the child has been created: from then on only the child (and
    // whatever it starts) holds the write end.
    void closeChildEnd() { writeEnd.reset(); }

    // Reads while it waits for the process to end, so that the child never
    // blocks on a full pipe, and returns when the process has ended: a
    // process that the application started may keep the write end open for
    // much longer. Throws VxError<SysError> when the wait fails.
    void readUntilEnd(HANDLE process);

    // The last tailLimit bytes at most, starting at a line when cut.
    std::string tail() const;
    std::uint64_t bytesSeen() const { return seen; }

private:
    void startRead();
    bool finishRead(bool wait);
    void keep(const char* bytes, std::size_t count);

    ScopedHandle readEnd;
    ScopedHandle writeEnd;
    ScopedHandle readDone;
    OVERLAPPED overlapped{};
    bool reading = false;
    bool open = true;
    char buffer[16 * 1024];
    std::string kept;
    bool cut = false;
    std::uint64_t seen = 0;
};
