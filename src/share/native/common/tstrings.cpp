#include "tstrings.h"

#include <climits>
#include <cstring>
#include <cstdarg>
#include <stdexcept>

#include "ErrorHandling.h"
#include "Platform.h"

namespace tstrings {

namespace {

// Both conversions take exact counts (no terminator expected, embedded NUL
// converted like any other unit) and size first, then convert.
WideString fromMultiByte(const std::string& bytes, unsigned codePage) {
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        throwWithPosition(std::runtime_error("Unexpected reply from MultiByteToWideChar()"));
    }
    const int count = static_cast<int>(bytes.size());
    const int needed = platform::multiByteToWide(codePage, bytes.data(), count, nullptr, 0);
    if (needed < 0) {
        throwWithPosition(std::runtime_error("Unexpected reply from MultiByteToWideChar()"));
    }
    if (needed == 0) {
        return WideString();
    }
    WideString result(static_cast<std::size_t>(needed), L'\0');
    const int written = platform::multiByteToWide(codePage, bytes.data(), count, &result[0], needed);
    if (written != needed) {
        throwWithPosition(std::runtime_error("Unexpected reply from MultiByteToWideChar()"));
    }
    return result;
}

std::string toMultiByte(const WideString& text, unsigned codePage, bool* exact = nullptr) {
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        throwWithPosition(std::runtime_error("Unexpected reply from WideCharToMultiByte()"));
    }
    const int count = static_cast<int>(text.size());
    const int needed = platform::wideToMultiByte(codePage, text.data(), count, nullptr, 0, exact);
    if (needed < 0) {
        throwWithPosition(std::runtime_error("Unexpected reply from WideCharToMultiByte()"));
    }
    if (needed == 0) {
        return std::string();
    }
    std::string result(static_cast<std::size_t>(needed), '\0');
    const int written = platform::wideToMultiByte(codePage, text.data(), count, &result[0], needed, exact);
    if (written != needed) {
        throwWithPosition(std::runtime_error("Unexpected reply from WideCharToMultiByte()"));
    }
    return result;
}

// One unit per byte, of the same value.
WideString widened(const char* begin, const char* end) {
    WideString result;
    result.reserve(static_cast<std::size_t>(end - begin));
    for (const char* p = begin; p != end; ++p) {
        result += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    }
    return result;
}

} // namespace

WideString utf8ToWide(const std::string& bytes) {
    return fromMultiByte(bytes, platform::codePageUtf8);
}

std::string wideToUtf8(const WideString& text) {
    return toMultiByte(text, platform::codePageUtf8);
}

std::string wideToAnsi(const WideString& text) {
    return toMultiByte(text, platform::codePageAnsi);
}

bool wideToAnsiExact(const WideString& text, std::string& bytes) {
    bool exact = true;
    bytes = toMultiByte(text, platform::codePageAnsi, &exact);
    return exact;
}

WideString bytesToWide(const char* bytes) {
    return bytes ? widened(bytes, bytes + std::strlen(bytes)) : WideString();
}

WideString utf8OrBytesToWide(const std::string& bytes) {
    const WideString decoded = utf8ToWide(bytes);
    if (decoded.empty() && !bytes.empty()) {
        // Not valid UTF-8: keep every byte rather than lose the text.
        return platform::undecodedBytesToWide(bytes);
    }
    return decoded;
}

WideString excerpt(const WideString& text, std::size_t maxLength) {
    if (text.size() <= maxLength) {
        return text;
    }
    std::size_t length = maxLength;
    if (length > 0 && text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) {
        --length;
    }
    return text.substr(0, length) + L"...";
}

WideString lowerCase(const WideString& text) {
    WideString result = text;
    for (wchar_t& unit : result) {
        if (unit >= L'A' && unit <= L'Z') {
            unit = static_cast<wchar_t>(unit + 0x20);
        }
    }
    return result;
}

bool sameText(const WideString& a, const WideString& b, TextComparison mode) {
    if (mode == IgnoringCase) {
        return lowerCase(a) == lowerCase(b);
    }
    return a == b;
}

bool hasPrefix(const WideString& text, const WideString& prefix, TextComparison mode) {
    if (text.size() < prefix.size()) {
        return false;
    }
    return sameText(text.substr(0, prefix.size()), prefix, mode);
}

bool hasSuffix(const WideString& text, const WideString& suffix, TextComparison mode) {
    if (text.size() < suffix.size()) {
        return false;
    }
    return sameText(text.substr(text.size() - suffix.size()), suffix, mode);
}

WideString replaceAll(const WideString& text, const WideString& search,
                      const WideString& replacement) {
    if (search.empty()) {
        return text;
    }
    // Built by appending: replacing in place would move the rest of the
    // text once per occurrence, quadratic on long values.
    WideString result;
    std::size_t start = 0;
    std::size_t pos = text.find(search);
    while (pos != WideString::npos) {
        result.append(text, start, pos - start).append(replacement);
        start = pos + search.size();
        pos = text.find(search, start);
    }
    result.append(text, start, WideString::npos);
    return result;
}

void splitInto(WideStringList& list, const WideString& text, const WideString& delimiter) {
    if (text.empty() || delimiter.empty()) {
        return;
    }
    std::size_t start = 0;
    std::size_t pos = text.find(delimiter);
    while (pos != WideString::npos) {
        list.push_back(text.substr(start, pos - start));
        start = pos + delimiter.size();
        pos = text.find(delimiter, start);
    }
    list.push_back(text.substr(start));
}

WideString vformatted(const wchar_t* format, va_list args) {
    if (!format) {
        throw std::invalid_argument("Destination buffer can't be NULL");
    }
    // The bounded printf reports -1 for truncation and for any other failure
    // alike, so the growth is capped instead of trusting it to end.
    WideString result;
    int written = -1;
    while (written < 0) {
        if (result.size() + 256 > maxFormattedLength) {
            throwWithPosition(std::runtime_error("Formatted text does not fit in 65536 characters"));
        }
        result.resize(result.size() + 256, L'\0');
        va_list attempt;
        va_copy(attempt, args);
        written = platform::boundedWidePrintf(&result[0], result.size(), format, attempt);
        va_end(attempt);
    }
    result.resize(static_cast<std::size_t>(written));
    return result;
}

WideString formatted(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    try {
        WideString result = vformatted(format, args);
        va_end(args);
        return result;
    } catch (...) {
        va_end(args);
        throw;
    }
}

} // namespace tstrings
