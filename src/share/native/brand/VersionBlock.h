#pragma once

// The version resource of an executable (VS_VERSIONINFO): the fixed block
// with the file and product numbers, one string table and the translation.
// Reading keeps what branding does not change; writing lays the block out
// again as the system's version functions read it.

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tstrings.h"

using VersionNumber = std::array<std::uint16_t, 4>;

struct VersionBlock {
    // VS_FIXEDFILEINFO as it was read; the numbers are written into it.
    std::string fixedInfo;
    VersionNumber fileVersion{};
    VersionNumber productVersion{};
    // The string table's language and code page ("040904B0") and its
    // entries in order.
    WideString tableKey = L"040904B0";
    std::vector<std::pair<WideString, WideString>> strings;
    // The Translation value: language in the low word, code page in the high.
    std::uint32_t translation = 0x04B00409;

    // Throws VxError<std::runtime_error> when the bytes are not a version
    // resource.
    static VersionBlock parse(const std::string& bytes);
    std::string serialize() const;

    // Replaces the value of key, or appends the entry when there is none.
    void setString(const WideString& key, const WideString& value);
    const WideString* findString(const WideString& key) const;
};

// "1", "1.2", "1.2.3" or "1.2.3.4", each part 0..65535; missing parts are 0.
// Throws VxError<std::runtime_error> naming the text otherwise.
VersionNumber parseVersionNumber(const WideString& text);
WideString versionText(const VersionNumber& number);
