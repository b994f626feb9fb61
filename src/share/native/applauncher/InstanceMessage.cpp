#include "InstanceMessage.h"

#include "StringBuilder.h"

namespace InstanceMessage {

namespace {

const char greetingMagic[] = "VXI1";
const char forwardMagic[] = "VXF1";

void appendNumber(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

// UTF-16 (Windows) or UTF-32 (POSIX) without a lone surrogate: a text
// whose UTF-8 form the instance can decode. A POSIX argument that is not
// UTF-8 widens to lone surrogates (platform::undecodedBytesToWide).
bool wellFormed(const WideString& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto unit = static_cast<std::uint32_t>(text[i]);
        if (unit > 0x10FFFF) {
            return false;
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return false;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            const bool pairs = sizeof(wchar_t) == 2 && i + 1 < text.size() &&
                               static_cast<std::uint32_t>(text[i + 1]) >= 0xDC00 &&
                               static_cast<std::uint32_t>(text[i + 1]) <= 0xDFFF;
            if (!pairs) {
                return false;
            }
            ++i;
        }
    }
    return true;
}

} // namespace

bool encodeForward(const WideString& workingDirectory, const WideStringList& arguments,
                   std::string& message, WideString& why) {
    const std::size_t count = arguments.size() + 1;
    if (count > maxTexts) {
        why = (StringBuilder() << "it has " << arguments.size() << " arguments, more than the "
                               << maxTexts - 1 << " an instance takes")
                  .text();
        return false;
    }
    std::string out(forwardMagic, 4);
    appendNumber(out, static_cast<std::uint32_t>(count));
    std::size_t textBytes = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const WideString& text = i == 0 ? workingDirectory : arguments[i - 1];
        if (!wellFormed(text)) {
            const WideString what = i == 0 ? WideString(L"the working directory")
                                           : (StringBuilder() << L"argument " << i).text();
            why = what + L" is not valid text";
            return false;
        }
        const std::string bytes = tstrings::wideToUtf8(text);
        textBytes += bytes.size();
        if (textBytes > maxTextBytes) {
            why = (StringBuilder() << "its arguments have more than the " << maxTextBytes
                                   << " bytes an instance takes")
                      .text();
            return false;
        }
        appendNumber(out, static_cast<std::uint32_t>(bytes.size()));
        out += bytes;
    }
    message = std::move(out);
    return true;
}

bool parseGreeting(const std::string& bytes, std::uint32_t& processId) {
    if (bytes.size() != greetingSize || bytes.compare(0, 4, greetingMagic) != 0) {
        return false;
    }
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[4 + static_cast<std::size_t>(i)]))
                 << (8 * i);
    }
    processId = value;
    return true;
}

} // namespace InstanceMessage
