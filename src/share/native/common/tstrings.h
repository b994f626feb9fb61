#pragma once

// Wide strings, the conversions between wide and byte strings, and the few
// text operations the launcher needs. Paths, config values and messages are
// wide everywhere; byte strings appear only at the edges (UTF-8 files and
// streams, the ANSI-coded JVM arguments).

#include <cstdarg>
#include <string>
#include <vector>

using WideString = std::wstring;
using WideStringList = std::vector<WideString>;

namespace tstrings {

enum TextComparison { Exact = 0, IgnoringCase = 1 };

// Invalid input converts to the empty string without error; a platform reply
// that breaks the two-pass contract throws VxError<std::runtime_error>.
WideString utf8ToWide(const std::string& bytes);
std::string wideToUtf8(const WideString& text);
// The process's ANSI code page; unrepresentable characters are replaced.
std::string wideToAnsi(const WideString& text);
// The same conversion without look-alikes: false when some character has
// no exact form in the code page (bytes then hold the lossy conversion).
bool wideToAnsiExact(const WideString& text, std::string& bytes);

// Widens every byte to the code unit of the same value (no decoding).
WideString bytesToWide(const char* bytes);
// Decodes UTF-8; text that is not valid UTF-8 is widened as the platform
// says (platform::undecodedBytesToWide) instead of being lost: on POSIX so
// that wideToUtf8 gives the same bytes back.
WideString utf8OrBytesToWide(const std::string& bytes);

// Lowers "A".."Z" only; every other unit stays as it is.
WideString lowerCase(const WideString& text);
bool sameText(const WideString& a, const WideString& b, TextComparison mode = Exact);
bool hasPrefix(const WideString& text, const WideString& prefix, TextComparison mode = Exact);
bool hasSuffix(const WideString& text, const WideString& suffix, TextComparison mode = Exact);

// Left to right, without overlap; inserted text is never searched again.
WideString replaceAll(const WideString& text, const WideString& search,
                      const WideString& replacement);

// The text itself when it has at most maxLength units, else its start
// followed by "...": for messages, which need only enough of a long value to
// recognise it. Never ends in half a surrogate pair, which would fail the
// UTF-8 conversion of the whole message.
WideString excerpt(const WideString& text, std::size_t maxLength);

// Appends the pieces of text between delimiters, empty pieces included;
// an empty text or delimiter appends nothing.
void splitInto(WideStringList& list, const WideString& text, const WideString& delimiter);

// printf-style formatting with the platform's wide conventions ("%ls" is a
// wide text on every supported toolchain). Throws std::invalid_argument for
// a null format and VxError<std::runtime_error> when the result would exceed
// maxFormattedLength units.
WideString formatted(const wchar_t* format, ...);
WideString vformatted(const wchar_t* format, va_list args);

constexpr std::size_t maxFormattedLength = 64 * 1024;

} // namespace tstrings
