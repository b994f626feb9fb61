#include "StringBuilder.h"

#include <cstdint>

StringBuilder& StringBuilder::operator<<(const wchar_t* text) {
    if (text) {
        buffer += text;
    }
    return *this;
}

StringBuilder& StringBuilder::operator<<(const char* bytes) {
    buffer += tstrings::bytesToWide(bytes);
    return *this;
}

StringBuilder& StringBuilder::operator<<(const std::string& utf8) {
    buffer += tstrings::utf8ToWide(utf8);
    return *this;
}

StringBuilder& StringBuilder::operator<<(const void* address) {
    // Upper-case hex, zero-padded to twice the pointer's size, no prefix.
    static const wchar_t digits[] = L"0123456789ABCDEF";
    auto value = reinterpret_cast<std::uintptr_t>(address);
    wchar_t text[sizeof(void*) * 2];
    for (std::size_t i = sizeof(text) / sizeof(text[0]); i-- > 0;) {
        text[i] = digits[value & 0xF];
        value >>= 4;
    }
    buffer.append(text, sizeof(text) / sizeof(text[0]));
    return *this;
}

std::string streamedPointer(const void* address) {
    // What libstdc++'s streams write: "0x" and lower-case hex without
    // padding, or a plain "0" for null.
    auto value = reinterpret_cast<std::uintptr_t>(address);
    if (value == 0) {
        return "0";
    }
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (; value != 0; value >>= 4) {
        hex.insert(hex.begin(), digits[value & 0xF]);
    }
    return "0x" + hex;
}
