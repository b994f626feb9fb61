#pragma once

// The error of a failed Windows call: the caller's message, the label, the
// error code and the system's description of it.

#include <stdexcept>
#include <string>

#include "ErrorHandling.h"
#include "StringBuilder.h"
#include "WinSys.h"

class SysError : public std::runtime_error {
public:
    // failedFunction: address of the function that failed (its module's
    // message table is searched first); may be null. insert: what the
    // description's "%1" stands for (a file name), if known.
    SysError(const StringBuilder& message, const void* failedFunction, DWORD errorCode,
             const char* label = "System error", const WideString& insert = WideString());
};

// Throws VxError<SysError> for a Windows call that failed with errorCode,
// with the position where it is written. message is what a StringBuilder
// takes ("CreateFileW(" << path << ") failed").
#define throwSysError(function, errorCode, message)                                                \
    ::throwErrorAt(SysError(StringBuilder() << message, reinterpret_cast<const void*>(function),   \
                            (errorCode)),                                                          \
                   CURRENT_POSITION)

// The same for the call that has just failed: its error code is read
// before anything else runs (building the message may change it).
#define throwLastError(function, message)                                                          \
    do {                                                                                           \
        const DWORD vxFailedCallError = ::GetLastError();                                          \
        throwSysError(function, vxFailedCallError, message);                                       \
    } while (false)

// The message spelled from the call itself: "<function>() failed", or
// "<function>(<arguments>) failed" with what the call was given, as a
// StringBuilder takes it.
#define throwLastErrorOf(function) throwLastError(&function, #function "() failed")
#define throwLastErrorOfCall(function, arguments)                                                  \
    throwLastError(&function, #function "(" << arguments << ") failed")
#define throwSysErrorOf(function, errorCode) throwSysError(&function, errorCode, #function "() failed")

// "system error <code> (<description>)".
WideString systemErrorText(DWORD errorCode, HMODULE module,
                           const WideString& insert = WideString());
// The system's description of the code on one line, trailing periods and
// blanks removed; "No description available" when there is none. Inserts
// ("%1" in "%1 is not a valid Win32 application") are filled with insert,
// or dropped when it is empty: never shown as they stand.
WideString systemMessageText(DWORD errorCode, HMODULE module,
                             const WideString& insert = WideString());
// Joins a message and more text with ". " (or " " after ";.,:!?").
std::string combineMessages(const std::string& message, const std::string& more);
