#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <sstream>

#include "StringBuilder.h"

namespace {

TEST(StringBuilder, InsertionTable) {
    const std::string utf8 = "\xC3\xA9";
    EXPECT_EQ((StringBuilder() << "\xC3\xA9").text(), WideString(L"\u00C3\u00A9"));  // widened
    EXPECT_EQ((StringBuilder() << utf8).text(), L"\u00E9");                        // decoded
    EXPECT_EQ((StringBuilder() << WideString(L"w") << L"x" << L'y').text(), L"wxy");
    EXPECT_EQ((StringBuilder() << -12 << " " << 34u << " " << INT_MIN).text(),
              L"-12 34 -2147483648");
    EXPECT_EQ((StringBuilder() << 3221225477u).text(), L"3221225477");
    EXPECT_EQ((StringBuilder() << (StringBuilder() << "inner")).text(), L"inner");
    EXPECT_EQ(StringBuilder(std::string("\xE4\xB8\xAD")).text(), L"\u4E2D");
}

TEST(StringBuilder, PointerIsUpperHexOfTwicePointerSize) {
    const void* address = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(0xAB12));
    const WideString text = (StringBuilder() << address).text();
    EXPECT_EQ(text.size(), sizeof(void*) * 2);
    EXPECT_EQ(text, WideString(sizeof(void*) * 2 - 4, L'0') + L"AB12");
}

TEST(StringBuilder, StreamedPointerIsWhatTheStandardStreamsWrite) {
    for (const std::uintptr_t value : {std::uintptr_t{0}, std::uintptr_t{0x1}, std::uintptr_t{0xAB12},
                                       ~std::uintptr_t{0}}) {
        const void* address = reinterpret_cast<const void*>(value);
        std::ostringstream expected;
        expected << address;
        EXPECT_EQ(streamedPointer(address), expected.str());
    }
}

} // namespace
