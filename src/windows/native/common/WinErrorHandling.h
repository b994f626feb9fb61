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
    // message table is searched first); may be null.
    SysError(const StringBuilder& message, const void* failedFunction,
             DWORD errorCode = GetLastError(), const char* label = "System error");
};

// "system error <code> (<description>)".
WideString systemErrorText(DWORD errorCode, HMODULE module);
// The system's description of the code on one line, trailing periods and
// blanks removed; "No description available" when there is none.
WideString systemMessageText(DWORD errorCode, HMODULE module);
// Joins a message and more text with ". " (or " " after ";.,:!?").
std::string combineMessages(const std::string& message, const std::string& more);
