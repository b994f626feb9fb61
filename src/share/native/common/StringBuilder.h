#pragma once

// StringBuilder: the stream-like builder every message is assembled with.
//
// A narrow text *pointer* (what(), plainMessage()) is widened byte by byte,
// a narrow *string object* is decoded as UTF-8: the difference is deliberate.

#include <cstdint>
#include <string>
#include <type_traits>

#include "DecimalText.h"
#include "tstrings.h"

class StringBuilder {
public:
    StringBuilder() = default;
    explicit StringBuilder(const WideString& text) : buffer(text) {}
    explicit StringBuilder(const std::string& utf8) : buffer(tstrings::utf8ToWide(utf8)) {}

    StringBuilder& operator<<(const WideString& text) { buffer += text; return *this; }
    StringBuilder& operator<<(const wchar_t* text);
    StringBuilder& operator<<(wchar_t unit) { buffer += unit; return *this; }
    StringBuilder& operator<<(const char* bytes);
    StringBuilder& operator<<(const std::string& utf8);
    StringBuilder& operator<<(const StringBuilder& other) { buffer += other.buffer; return *this; }
    StringBuilder& operator<<(const void* address);

    template <class T,
              std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                   !std::is_same_v<T, char> && !std::is_same_v<T, wchar_t>,
                               int> = 0>
    StringBuilder& operator<<(T value) {
        buffer += decimalText(value);
        return *this;
    }

    const WideString& text() const { return buffer; }
    std::string utf8() const { return tstrings::wideToUtf8(buffer); }

private:
    WideString buffer;
};

// A pointer value as the standard output stream writes it (the form the
// launcher's object-lifecycle and module-handle traces use).
std::string streamedPointer(const void* address);
