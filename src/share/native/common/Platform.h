#pragma once

// What the platform-neutral code asks of the operating system. The Windows
// half maps these onto the Win32 API and its runtime library; the POSIX half
// exists so that the neutral code also builds and runs natively.

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "LocalTime.h"
#include "tstrings.h"

namespace platform {

constexpr unsigned codePageAnsi = 0;
constexpr unsigned codePageUtf8 = 65001;

// The directory separator that joined paths get.
extern const wchar_t pathSeparator;

// MultiByteToWideChar contract (MB_ERR_INVALID_CHARS): the needed length
// with a null output, the written length otherwise, 0 for invalid input.
int multiByteToWide(unsigned codePage, const char* bytes, int count, wchar_t* out, int outSize);
// WideCharToMultiByte contract (flags 0): unrepresentable units replaced.
// With `exact`, no best-fit look-alike is used either, and *exact tells
// whether every unit had an exact form in the code page.
int wideToMultiByte(unsigned codePage, const wchar_t* text, int count, char* out, int outSize,
                    bool* exact = nullptr);
// A string from the OS that is not valid UTF-8 (a file name, an argument),
// widened so that wideToMultiByte gives the same bytes back where the OS
// names files with bytes; byte by byte (Latin-1) elsewhere.
WideString undecodedBytesToWide(const std::string& bytes);
// The number of the process's ANSI code page (GetACP).
unsigned ansiCodePage();

// Bounded wide printf: the units written (terminator excluded), or -1 when
// the result did not fit (or formatting failed).
int boundedWidePrintf(wchar_t* buffer, std::size_t size, const wchar_t* format, va_list args);

// printf-style output to standard error: the runtime library's vfprintf on
// Windows, whose conversions printf-style callers use, rather than MinGW's
// own C99 one, which would add some 30 KB to the launcher.
void printToStandardError(const char* format, va_list args);

LocalTime localTime();
std::uint32_t processId();
std::uint32_t threadId();

// Path of the module that holds the launcher's code; false on failure.
bool ownModulePath(WideString& path);

// Description of an errno value; false when none is available.
bool errnoDescription(int errorNumber, wchar_t* buffer, std::size_t size);

// Value of an environment variable; false when it is not set or unreadable.
bool environmentVariable(const wchar_t* name, WideString& value);

} // namespace platform
