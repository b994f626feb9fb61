// The POSIX half of what the platform-neutral code asks of the OS, for the
// native build of the neutral core. wchar_t holds UTF-32 here; UTF-8 is both
// the "UTF-8" and the "ANSI" code page, converted by hand so that the result
// does not depend on the process's locale.
//
// File names, arguments and environment values are bytes here, not text. A
// byte that is no part of valid UTF-8 becomes the lone surrogate U+DC80 +
// (byte - 0x80) when such a string is widened (undecodedBytesToWide), and
// the encoder turns those surrogates back into the very bytes: a path or an
// argument reaches the loader, execv or the JVM as it came.

#include "Platform.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <ctime>
#include <string>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

namespace platform {

const wchar_t pathSeparator = L'/';

namespace {

// Decodes one UTF-8 sequence at bytes[pos]; false when it is invalid
// (overlong forms, surrogates and values past U+10FFFF included).
bool decodeUtf8(const unsigned char* bytes, int count, int& pos, char32_t& out) {
    const unsigned char lead = bytes[pos];
    int length = 0;
    char32_t value = 0;
    if (lead < 0x80) {
        out = lead;
        ++pos;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
    } else {
        return false;
    }
    if (pos + length > count) {
        return false;
    }
    for (int i = 1; i < length; ++i) {
        const unsigned char next = bytes[pos + i];
        if ((next & 0xC0) != 0x80) {
            return false;
        }
        value = (value << 6) | (next & 0x3F);
    }
    static const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < minimum[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return false;
    }
    out = value;
    pos += length;
    return true;
}

constexpr char32_t firstEscapedByte = 0xDC80;
constexpr char32_t lastEscapedByte = 0xDCFF;

bool isEscapedByte(char32_t value) {
    return value >= firstEscapedByte && value <= lastEscapedByte;
}

int encodeUtf8(char32_t value, char* out) {
    if (isEscapedByte(value)) {
        out[0] = static_cast<char>(value - 0xDC00);
        return 1;
    }
    if (value >= 0xD800 && value <= 0xDFFF) {
        value = 0xFFFD;  // unpaired surrogate
    }
    if (value > 0x10FFFF) {
        value = 0xFFFD;
    }
    if (value < 0x80) {
        out[0] = static_cast<char>(value);
        return 1;
    }
    if (value < 0x800) {
        out[0] = static_cast<char>(0xC0 | (value >> 6));
        out[1] = static_cast<char>(0x80 | (value & 0x3F));
        return 2;
    }
    if (value < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (value >> 12));
        out[1] = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (value & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (value >> 18));
    out[1] = static_cast<char>(0x80 | ((value >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (value & 0x3F));
    return 4;
}

} // namespace

int multiByteToWide(unsigned, const char* bytes, int count, wchar_t* out, int outSize) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes);
    int pos = 0;
    int written = 0;
    while (pos < count) {
        char32_t value = 0;
        if (!decodeUtf8(data, count, pos, value)) {
            return 0;
        }
        if (out) {
            if (written >= outSize) {
                return 0;
            }
            out[written] = static_cast<wchar_t>(value);
        }
        ++written;
    }
    return written;
}

int wideToMultiByte(unsigned, const wchar_t* text, int count, char* out, int outSize, bool* exact) {
    int written = 0;
    if (exact) {
        *exact = true;
    }
    for (int i = 0; i < count; ++i) {
        const auto value = static_cast<char32_t>(text[i]);
        if (exact && (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF && !isEscapedByte(value)))) {
            *exact = false;
        }
        char encoded[4];
        const int length = encodeUtf8(static_cast<char32_t>(text[i]), encoded);
        if (out) {
            if (written + length > outSize) {
                return 0;
            }
            std::memcpy(out + written, encoded, static_cast<std::size_t>(length));
        }
        written += length;
    }
    return written;
}

WideString undecodedBytesToWide(const std::string& bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const int count = static_cast<int>(bytes.size());
    WideString result;
    result.reserve(bytes.size());
    int pos = 0;
    while (pos < count) {
        char32_t value = 0;
        if (decodeUtf8(data, count, pos, value)) {
            result += static_cast<wchar_t>(value);
        } else {
            // Only bytes from 0x80 fail to decode: ASCII always decodes.
            result += static_cast<wchar_t>(0xDC00 + data[pos]);
            ++pos;
        }
    }
    return result;
}

unsigned ansiCodePage() {
    return codePageUtf8;
}

int boundedWidePrintf(wchar_t* buffer, std::size_t size, const wchar_t* format, va_list args) {
    // vswprintf returns a negative value when the output does not fit.
    const int written = std::vswprintf(buffer, size, format, args);
    return written < 0 ? -1 : written;
}

void printToStandardError(const char* format, va_list args) {
    std::vfprintf(stderr, format, args);
}

LocalTime localTime() {
    timeval now{};
    gettimeofday(&now, nullptr);
    std::tm parts{};
    const std::time_t seconds = now.tv_sec;
    localtime_r(&seconds, &parts);
    return LocalTime{static_cast<std::uint16_t>(parts.tm_year + 1900),
                     static_cast<std::uint16_t>(parts.tm_mon + 1),
                     static_cast<std::uint16_t>(parts.tm_wday),
                     static_cast<std::uint16_t>(parts.tm_mday),
                     static_cast<std::uint16_t>(parts.tm_hour),
                     static_cast<std::uint16_t>(parts.tm_min),
                     static_cast<std::uint16_t>(parts.tm_sec),
                     static_cast<std::uint16_t>(now.tv_usec / 1000)};
}

std::uint32_t processId() {
    return static_cast<std::uint32_t>(getpid());
}

std::uint32_t threadId() {
    return static_cast<std::uint32_t>(syscall(SYS_gettid));
}

bool ownModulePath(WideString& path) {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", &buffer[0], buffer.size());
        if (length <= 0) {
            return false;
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    path = tstrings::utf8OrBytesToWide(buffer);
    return true;
}

bool errnoDescription(int errorNumber, wchar_t* buffer, std::size_t size) {
    char text[1024];
    // GNU strerror_r may return a static text instead of filling the buffer.
    const char* description = strerror_r(errorNumber, text, sizeof(text));
    if (!description || size == 0) {
        return false;
    }
    const WideString wide = tstrings::utf8OrBytesToWide(description);
    const std::size_t length = std::min(wide.size(), size - 1);
    wide.copy(buffer, length);
    buffer[length] = L'\0';
    return true;
}

bool environmentVariable(const wchar_t* name, WideString& value) {
    const char* found = std::getenv(tstrings::wideToUtf8(name).c_str());
    if (!found) {
        return false;
    }
    value = tstrings::utf8OrBytesToWide(found);
    return true;
}

} // namespace platform
