#include "Bytes.h"

#include <stdexcept>

#include "ErrorHandling.h"

namespace {

void needRange(const std::string& bytes, std::size_t offset, std::size_t size, const char* what) {
    if (offset > bytes.size() || bytes.size() - offset < size) {
        throwWithPosition(std::runtime_error(std::string(what) + " is cut short"));
    }
}

} // namespace

namespace Bytes {

std::uint16_t u16(const std::string& bytes, std::size_t offset, const char* what) {
    needRange(bytes, offset, 2, what);
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[offset]) |
                                      static_cast<unsigned char>(bytes[offset + 1]) << 8);
}

std::uint32_t u32(const std::string& bytes, std::size_t offset, const char* what) {
    return u16(bytes, offset, what) | static_cast<std::uint32_t>(u16(bytes, offset + 2, what)) << 16;
}

void putU16(std::string& bytes, std::uint16_t value) {
    bytes += static_cast<char>(value & 0xFF);
    bytes += static_cast<char>(value >> 8);
}

void putU32(std::string& bytes, std::uint32_t value) {
    putU16(bytes, static_cast<std::uint16_t>(value & 0xFFFF));
    putU16(bytes, static_cast<std::uint16_t>(value >> 16));
}

void setU16(std::string& bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = static_cast<char>(value & 0xFF);
    bytes[offset + 1] = static_cast<char>(value >> 8);
}

void setU32(std::string& bytes, std::size_t offset, std::uint32_t value) {
    setU16(bytes, offset, static_cast<std::uint16_t>(value & 0xFFFF));
    setU16(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

void alignTo4(std::string& bytes) {
    bytes.append((4 - bytes.size() % 4) % 4, '\0');
}

std::string utf16(const WideString& text) {
    std::string out;
    for (const wchar_t unit : text) {
        const auto code = static_cast<std::uint32_t>(unit);
        if (code > 0xFFFF) {
            // Only where wchar_t is 32 bits wide (the native test build).
            const std::uint32_t rest = code - 0x10000;
            putU16(out, static_cast<std::uint16_t>(0xD800 + (rest >> 10)));
            putU16(out, static_cast<std::uint16_t>(0xDC00 + (rest & 0x3FF)));
        } else {
            putU16(out, static_cast<std::uint16_t>(code));
        }
    }
    return out;
}

WideString fromUtf16(const std::string& bytes, std::size_t offset, std::size_t limit, std::size_t* end,
                     const char* what) {
    WideString text;
    for (;;) {
        if (offset >= limit || limit - offset < 2) {
            throwWithPosition(std::runtime_error(std::string(what) + " is cut short"));
        }
        const std::uint16_t unit = u16(bytes, offset, what);
        offset += 2;
        if (unit == 0) {
            break;
        }
        text += static_cast<wchar_t>(unit);
    }
    *end = offset;
    return text;
}

} // namespace Bytes
