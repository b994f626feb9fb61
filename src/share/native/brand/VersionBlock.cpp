#include "VersionBlock.h"

#include <stdexcept>

#include "Bytes.h"
#include "ErrorHandling.h"

namespace {

constexpr std::uint32_t fixedSignature = 0xFEEF04BD;
constexpr std::size_t fixedSize = 52;
constexpr std::uint16_t binaryValue = 0;
constexpr std::uint16_t textValue = 1;

// One node of the block: wLength, wValueLength, wType, the key, padding,
// the value, padding, the children.
struct Node {
    std::size_t start;
    std::size_t end;
    std::uint16_t valueLength;
    std::uint16_t type;
    WideString key;
    std::size_t value;     // offset of the value
    std::size_t children;  // offset of the first child
};

Node readNode(const std::string& bytes, std::size_t start, std::size_t limit) {
    Node node;
    node.start = start;
    const std::uint16_t length = Bytes::u16(bytes, start, "the version resource");
    if (length < 6 || start + length > limit) {
        throwWithPosition(std::runtime_error("The version resource is damaged"));
    }
    node.end = start + length;
    node.valueLength = Bytes::u16(bytes, start + 2, "the version resource");
    node.type = Bytes::u16(bytes, start + 4, "the version resource");
    std::size_t afterKey = 0;
    node.key = Bytes::fromUtf16(bytes, start + 6, node.end, &afterKey, "the version resource");
    node.value = (afterKey + 3) & ~std::size_t(3);
    // Text values count UTF-16 units, binary ones bytes.
    const std::size_t valueBytes = node.type == textValue ? 2u * node.valueLength : node.valueLength;
    node.children = (node.value + valueBytes + 3) & ~std::size_t(3);
    return node;
}

template <class Visit>
void eachChild(const std::string& bytes, const Node& parent, Visit visit) {
    std::size_t offset = parent.children;
    while (offset + 6 <= parent.end) {
        const Node child = readNode(bytes, offset, parent.end);
        visit(child);
        offset = (child.end + 3) & ~std::size_t(3);
    }
}

std::string node(const WideString& key, std::uint16_t type, const std::string& value,
                 std::uint16_t valueLength, const std::vector<std::string>& children) {
    std::string out(6, '\0');
    out += Bytes::utf16(key);
    Bytes::putU16(out, 0);
    Bytes::alignTo4(out);
    out += value;
    for (const std::string& child : children) {
        Bytes::alignTo4(out);
        out += child;
    }
    // The length field has 16 bits: a larger node would wrap and damage the
    // block for every later reader.
    if (out.size() > 0xFFFF) {
        throwWithPosition(std::runtime_error(
            "The version resource would be too large: \"" + tstrings::wideToUtf8(key) + "\" takes " +
            std::to_string(out.size()) + " bytes, more than 65535"));
    }
    Bytes::setU16(out, 0, static_cast<std::uint16_t>(out.size()));
    Bytes::setU16(out, 2, valueLength);
    Bytes::setU16(out, 4, type);
    return out;
}

std::string fixedInfoOf(const std::string& original, const VersionNumber& file,
                        const VersionNumber& product) {
    std::string info = original;
    if (info.size() != fixedSize) {
        // VS_FF_* mask 0x3F, VOS_NT_WINDOWS32, VFT_APP.
        info.clear();
        Bytes::putU32(info, fixedSignature);
        Bytes::putU32(info, 0x00010000);
        info.append(16, '\0');
        Bytes::putU32(info, 0x3F);
        Bytes::putU32(info, 0);
        Bytes::putU32(info, 0x00040004);
        Bytes::putU32(info, 1);
        info.append(12, '\0');
    }
    std::string numbers;
    for (const VersionNumber* number : {&file, &product}) {
        Bytes::putU32(numbers, static_cast<std::uint32_t>((*number)[0]) << 16 | (*number)[1]);
        Bytes::putU32(numbers, static_cast<std::uint32_t>((*number)[2]) << 16 | (*number)[3]);
    }
    info.replace(8, 16, numbers);
    return info;
}

} // namespace

VersionBlock VersionBlock::parse(const std::string& bytes) {
    const Node root = readNode(bytes, 0, bytes.size());
    if (root.key != L"VS_VERSION_INFO" || root.valueLength != fixedSize ||
        Bytes::u32(bytes, root.value, "the version resource") != fixedSignature) {
        throwWithPosition(std::runtime_error("The version resource is damaged"));
    }
    VersionBlock block;
    block.fixedInfo = bytes.substr(root.value, fixedSize);
    for (std::size_t i = 0; i < 2; ++i) {
        VersionNumber& number = i == 0 ? block.fileVersion : block.productVersion;
        const std::uint32_t high = Bytes::u32(block.fixedInfo, 8 + 8 * i, "the version resource");
        const std::uint32_t low = Bytes::u32(block.fixedInfo, 12 + 8 * i, "the version resource");
        number = {static_cast<std::uint16_t>(high >> 16), static_cast<std::uint16_t>(high),
                  static_cast<std::uint16_t>(low >> 16), static_cast<std::uint16_t>(low)};
    }
    bool firstTable = true;
    eachChild(bytes, root, [&](const Node& part) {
        if (part.key == L"StringFileInfo") {
            eachChild(bytes, part, [&](const Node& table) {
                // Branding writes one table; further ones are dropped.
                if (!firstTable) {
                    return;
                }
                firstTable = false;
                block.tableKey = table.key;
                eachChild(bytes, table, [&](const Node& entry) {
                    std::size_t end = 0;
                    const WideString value = entry.valueLength == 0
                        ? WideString()
                        : Bytes::fromUtf16(bytes, entry.value, entry.end, &end, "the version resource");
                    block.strings.emplace_back(entry.key, value);
                });
            });
        } else if (part.key == L"VarFileInfo") {
            eachChild(bytes, part, [&](const Node& var) {
                if (var.key == L"Translation" && var.valueLength >= 4) {
                    block.translation = Bytes::u32(bytes, var.value, "the version resource");
                }
            });
        }
    });
    return block;
}

std::string VersionBlock::serialize() const {
    std::vector<std::string> entries;
    for (const auto& [key, value] : strings) {
        // The value's length counts its terminating zero.
        std::string text = Bytes::utf16(value);
        Bytes::putU16(text, 0);
        entries.push_back(node(key, textValue, text, static_cast<std::uint16_t>(text.size() / 2), {}));
    }
    const std::string table = node(tableKey, textValue, "", 0, entries);
    const std::string stringInfo = node(L"StringFileInfo", textValue, "", 0, {table});
    std::string translationValue;
    Bytes::putU32(translationValue, translation);
    const std::string var = node(L"Translation", binaryValue, translationValue, 4, {});
    const std::string varInfo = node(L"VarFileInfo", textValue, "", 0, {var});
    return node(L"VS_VERSION_INFO", binaryValue, fixedInfoOf(fixedInfo, fileVersion, productVersion),
                fixedSize, {stringInfo, varInfo});
}

void VersionBlock::setString(const WideString& key, const WideString& value) {
    for (auto& entry : strings) {
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    }
    strings.emplace_back(key, value);
}

const WideString* VersionBlock::findString(const WideString& key) const {
    for (const auto& entry : strings) {
        if (entry.first == key) {
            return &entry.second;
        }
    }
    return nullptr;
}

VersionNumber parseVersionNumber(const WideString& text) {
    VersionNumber number{};
    std::size_t part = 0;
    std::size_t digits = 0;
    unsigned long value = 0;
    bool valid = !text.empty();
    for (std::size_t i = 0; valid && i <= text.size(); ++i) {
        if (i == text.size() || text[i] == L'.') {
            valid = digits > 0 && part < number.size();
            if (valid) {
                number[part++] = static_cast<std::uint16_t>(value);
            }
            digits = 0;
            value = 0;
        } else if (text[i] >= L'0' && text[i] <= L'9' && digits < 5) {
            value = value * 10 + static_cast<unsigned long>(text[i] - L'0');
            ++digits;
            valid = value <= 0xFFFF;
        } else {
            valid = false;
        }
    }
    if (!valid) {
        throwWithPosition(std::runtime_error(
            "Invalid version number \"" + tstrings::wideToUtf8(text) +
            "\": expected one to four numbers from 0 to 65535 separated by dots"));
    }
    return number;
}

WideString versionText(const VersionNumber& number) {
    WideString text;
    for (std::size_t i = 0; i < number.size(); ++i) {
        if (i > 0) {
            text += L'.';
        }
        text += std::to_wstring(number[i]);
    }
    return text;
}
