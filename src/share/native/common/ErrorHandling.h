#pragma once

// Error wrappers that carry the source position of their raise site, and
// the catch-site reporters.

#include <exception>
#include <stdexcept>
#include <string>

#include "SourcePosition.h"
#include "StringBuilder.h"
#include "tstrings.h"

class VxErrorBase {
public:
    // The error's own message, without the source position.
    virtual const char* plainMessage() const = 0;

protected:
    // Never destroyed through this interface.
    ~VxErrorBase() = default;
};

// "<file base name>(<line>) at <function>(): " followed by error.what().
std::string messageWithPosition(const std::exception& error, const SourcePosition& position);

// T is std::runtime_error or SysError. what() gives the composed text with
// the position, plainMessage() the wrapped error's own message.
template <class T>
class VxError : public VxErrorBase, public T {
public:
    VxError(const T& error, const SourcePosition& position)
        : T(error), composed(messageWithPosition(error, position)) {}

    const char* what() const noexcept override { return composed.c_str(); }

    const char* plainMessage() const override {
        // Read the wrapped part directly, not through the virtual what().
        const char* own = T::what();
        return own ? own : "Unknown exception";
    }

private:
    std::string composed;
};

template <class T>
[[noreturn]] void throwErrorAt(const T& error, const SourcePosition& position) {
    throw VxError<T>(error, position);
}

// Throws VxError<T> made of the error and the position where it is written.
#define throwWithPosition(error) ::throwErrorAt((error), CURRENT_POSITION)

// Text of the current errno value as UTF-8; empty when none is available.
std::string errnoText();

// Throws VxError<std::runtime_error> for a C library or POSIX call that
// failed with errno: "<function>(<arguments>) failed: <errno text>", the
// arguments as a StringBuilder takes them. errno is read first.
#define throwErrnoOfCall(function, arguments)                                                      \
    do {                                                                                           \
        const std::string vxErrnoText = ::errnoText();                                             \
        throwWithPosition(std::runtime_error(                                                      \
            (StringBuilder() << #function "(" << arguments << ") failed: " << vxErrnoText).utf8())); \
    } while (false)

// Error records for catch sites; written whatever the dispatcher's minimum
// level. They never throw: a failure to report is swallowed.
void logErrorAtPosition(const SourcePosition& position, const WideString& text);
void logCaughtError(const SourcePosition& position, const std::exception& error);
void logUnknownError(const SourcePosition& position);
