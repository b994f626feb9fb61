#include <gtest/gtest.h>

#include <stdexcept>

#include "Bytes.h"
#include "ErrorHandling.h"
#include "VersionBlock.h"

namespace {

TEST(VersionNumberTest, Forms) {
    const struct {
        const wchar_t* text;
        VersionNumber expected;
    } cases[] = {
        {L"2", {2, 0, 0, 0}},
        {L"2.5", {2, 5, 0, 0}},
        {L"1.2.3.4", {1, 2, 3, 4}},
        {L"65535.0.00001.0", {65535, 0, 1, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(tstrings::wideToUtf8(c.text));
        EXPECT_EQ(parseVersionNumber(c.text), c.expected);
    }
    EXPECT_EQ(versionText({1, 20, 300, 65535}), L"1.20.300.65535");
}

TEST(VersionNumberTest, Refusals) {
    for (const wchar_t* text : {L"", L".", L"1.", L".1", L"1..2", L"1.2.3.4.5", L"65536", L"1.2.3.-4",
                                L"1.2b", L" 1", L"100000"}) {
        SCOPED_TRACE(tstrings::wideToUtf8(text));
        try {
            parseVersionNumber(text);
            ADD_FAILURE() << "accepted";
        } catch (const VxError<std::runtime_error>& error) {
            EXPECT_EQ(std::string(error.plainMessage()),
                      "Invalid version number \"" + tstrings::wideToUtf8(text) +
                          "\": expected one to four numbers from 0 to 65535 separated by dots");
        }
    }
}

// What serialize writes, parse reads back, with the layout details (value
// lengths counting the terminator, four-byte alignment) that the system's
// version functions depend on checked by reading at known offsets.
TEST(VersionBlockTest, RoundTrip) {
    VersionBlock block;
    block.fileVersion = {2, 5, 1, 7};
    block.productVersion = {2, 5, 0, 0};
    block.strings = {{L"CompanyName", L""}, {L"ProductName", L"Orbit \u00dcber"}, {L"Odd", L"abc"}};
    block.setString(L"CompanyName", L"Orbit Works");
    block.setString(L"LegalCopyright", L"\u00a9 2026");

    const std::string bytes = block.serialize();
    ASSERT_EQ(bytes.size() % 4, 0u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]) | static_cast<unsigned char>(bytes[1]) << 8,
              static_cast<int>(bytes.size()));
    // VS_FIXEDFILEINFO follows "VS_VERSION_INFO" (6 + 32 bytes, aligned to 40).
    EXPECT_EQ(bytes.substr(40, 4), std::string("\xBD\x04\xEF\xFE", 4));

    const VersionBlock read = VersionBlock::parse(bytes);
    EXPECT_EQ(read.fileVersion, block.fileVersion);
    EXPECT_EQ(read.productVersion, block.productVersion);
    EXPECT_EQ(read.tableKey, L"040904B0");
    EXPECT_EQ(read.translation, 0x04B00409u);
    EXPECT_EQ(read.strings, (std::vector<std::pair<WideString, WideString>>{
                                {L"CompanyName", L"Orbit Works"},
                                {L"ProductName", L"Orbit \u00dcber"},
                                {L"Odd", L"abc"},
                                {L"LegalCopyright", L"\u00a9 2026"}}));
    EXPECT_EQ(read.serialize(), bytes);
}

TEST(VersionBlockTest, DamagedBlocks) {
    VersionBlock block;
    block.strings = {{L"ProductName", L"Orbit"}};
    const std::string good = block.serialize();
    std::string wrongKey = good;
    wrongKey[6] = 'X';
    std::string tooLong = good;
    tooLong[0] = static_cast<char>(0xFF);
    // A string value without its terminator inside its own node.
    std::string unterminated = good;
    const std::size_t value = unterminated.find(Bytes::utf16(L"Orbit"));
    unterminated.replace(value + 10, 2, "XX");
    for (const std::string& bytes : {std::string(), good.substr(0, 5), good.substr(0, 60), wrongKey,
                                     tooLong, unterminated}) {
        SCOPED_TRACE(bytes.size());
        EXPECT_THROW(VersionBlock::parse(bytes), std::runtime_error);
    }
}

// The length fields have 16 bits: a node that would be larger is refused
// instead of being written with a length that wrapped.
TEST(VersionBlockTest, NodeLargerThanItsLengthField) {
    VersionBlock block;
    block.strings = {{L"Comments", WideString(32000, L'c')}};
    EXPECT_EQ(VersionBlock::parse(block.serialize()).strings, block.strings);
    block.strings.emplace_back(L"More", WideString(1000, L'm'));
    EXPECT_THROW(block.serialize(), std::runtime_error);
}

} // namespace
