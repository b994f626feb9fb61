#include <gtest/gtest.h>

#include <stdexcept>

#include "ErrorHandling.h"
#include "Platform.h"
#include "tstrings.h"

namespace {

TEST(Conversions, RoundTripAndEdges) {
    EXPECT_EQ(tstrings::utf8ToWide(""), L"");
    EXPECT_EQ(tstrings::wideToUtf8(L""), "");
    EXPECT_EQ(tstrings::utf8ToWide("J\xC3\xB6rg"), L"J\u00F6rg");
    EXPECT_EQ(tstrings::wideToUtf8(L"J\u00F6rg \u4E2D"), "J\xC3\xB6rg \xE4\xB8\xAD");

    // Embedded NUL survives both directions.
    const std::string withNul("a\0b", 3);
    const WideString wideWithNul(L"a\0b", 3);
    EXPECT_EQ(tstrings::utf8ToWide(withNul), wideWithNul);
    EXPECT_EQ(tstrings::wideToUtf8(wideWithNul), withNul);
}

TEST(Conversions, InvalidUtf8GivesEmptyString) {
    for (const char* bytes : {"\xC3", "a\xC3", "\xFF\xFE", "\xED\xA0\x80", "\xC0\xAF"}) {
        SCOPED_TRACE(bytes);
        EXPECT_EQ(tstrings::utf8ToWide(bytes), L"");
    }
}

TEST(Conversions, AnsiReplacesWhatItCannotRepresent) {
    EXPECT_EQ(tstrings::wideToAnsi(L"abc"), "abc");
    // No error for a character outside the code page; whatever replaces it
    // is one or more bytes, never an exception or an empty result.
    EXPECT_FALSE(tstrings::wideToAnsi(L"\u4E2D").empty());
}

TEST(Conversions, ExactAnsiConversionRefusesLookAlikes) {
    // Windows test binaries run with the system's code page (1252 under
    // Wine); the native build's "ANSI" code page is UTF-8.
    const bool utf8 = platform::ansiCodePage() == platform::codePageUtf8;
    const struct {
        const wchar_t* text;
        bool exactIn1252;
        bool exactInUtf8;
    } cases[] = {
        {L"", true, true},
        {L"plain", true, true},
        {L"Zo\u00EB", true, true},
        // Best fit would make this "Lodz O".
        {L"\u0141\u00F3d\u017A \u03A9", false, true},
        {L"\u6587\u4EF6", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(tstrings::wideToUtf8(c.text));
        std::string bytes;
        EXPECT_EQ(tstrings::wideToAnsiExact(c.text, bytes), utf8 ? c.exactInUtf8 : c.exactIn1252);
        if (utf8) {
            EXPECT_EQ(bytes, tstrings::wideToUtf8(c.text));
        }
    }
    // An unpaired surrogate has no form in any code page.
    std::string bytes;
    EXPECT_FALSE(tstrings::wideToAnsiExact(WideString(1, static_cast<wchar_t>(0xD800)) + L"x", bytes));
}

TEST(Conversions, LenientDecodingKeepsInvalidBytes) {
    EXPECT_EQ(tstrings::utf8OrBytesToWide("J\xC3\xB6rg"), L"J\u00F6rg");
    EXPECT_EQ(tstrings::bytesToWide("\xC3\xA9"), WideString(L"\u00C3\u00A9"));
#ifdef _WIN32
    EXPECT_EQ(tstrings::utf8OrBytesToWide("J\xF6rg"), L"J\u00F6rg");
#else
    // File names and arguments are bytes: whatever is not UTF-8 comes back
    // unchanged, never as the UTF-8 of a look-alike ("caf\xE9" is another
    // file than "caf\xC3\xA9").
    EXPECT_EQ(tstrings::utf8OrBytesToWide("J\xF6rg"), L"J\xDCF6rg");
    const std::string bytes[] = {"caf\xE9", "J\xC3\xB6rg/lat\xE9/x", "\xC3", "\xFF\xFE\x80",
                                 "\xED\xA0\x80", "\xC0\xAF", "\xF4\x90\x80\x80", "a\xE9\xC3\xA9"};
    for (const std::string& original : bytes) {
        SCOPED_TRACE(original);
        const WideString wide = tstrings::utf8OrBytesToWide(original);
        EXPECT_EQ(tstrings::wideToUtf8(wide), original);
        std::string jvmBytes;
        EXPECT_TRUE(tstrings::wideToAnsiExact(wide, jvmBytes));
        EXPECT_EQ(jvmBytes, original);
    }
#endif
}

TEST(TextOperations, CaseAndAffixes) {
    EXPECT_EQ(tstrings::lowerCase(L"ABC xyz \u00C4"), L"abc xyz \u00C4");
    EXPECT_TRUE(tstrings::sameText(L"ABC", L"abc", tstrings::IgnoringCase));
    EXPECT_FALSE(tstrings::sameText(L"ABC", L"abc", tstrings::Exact));
    EXPECT_TRUE(tstrings::hasPrefix(L"-splash:x", L"-splash:"));
    EXPECT_FALSE(tstrings::hasPrefix(L"-Splash:x", L"-splash:"));
    EXPECT_TRUE(tstrings::hasPrefix(L"x", L""));
    EXPECT_FALSE(tstrings::hasPrefix(L"-spl", L"-splash:"));
    EXPECT_TRUE(tstrings::hasSuffix(L"Demo.EXE", L".exe", tstrings::IgnoringCase));
    EXPECT_TRUE(tstrings::hasSuffix(L"x", L""));
    EXPECT_FALSE(tstrings::hasSuffix(L"e", L".exe"));
}

TEST(TextOperations, ReplaceAll) {
    struct Case {
        const wchar_t* text;
        const wchar_t* search;
        const wchar_t* replacement;
        const wchar_t* expected;
    } cases[] = {
        {L"xx", L"x", L"xx", L"xxxx"},  // inserted text is not searched again
        {L"abc", L"", L"z", L"abc"},
        {L"$A\\lib;$A", L"$A", L"C:\\App", L"C:\\App\\lib;C:\\App"},
        {L"aaa", L"aa", L"b", L"ba"},
        {L"", L"a", L"b", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(tstrings::replaceAll(c.text, c.search, c.replacement), c.expected);
    }
}

TEST(TextOperations, ExcerptNeverEndsInHalfASurrogatePair) {
    // One character outside the BMP as UTF-16 writes it.
    const WideString pair{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    const struct {
        WideString text;
        WideString expected;
    } cases[] = {
        {L"abc", L"abc"},
        {L"abcd", L"abc..."},
        {L"ab" + pair, L"ab..."},
        {L"a" + pair + L"b", L"a" + pair + L"..."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tstrings::excerpt(c.text, 3), c.expected);
    }
}

TEST(TextOperations, SplitInto) {
    struct Case {
        const wchar_t* text;
        const wchar_t* delimiter;
        WideStringList expected;
    } cases[] = {
        {L"a;b", L";", {L"a", L"b"}},
        {L"a;;b", L";", {L"a", L"", L"b"}},
        {L";a;", L";", {L"", L"a", L""}},
        {L"a", L";", {L"a"}},
        {L"", L";", {}},
        {L"a;b", L"", {}},
        {L"a::b", L"::", {L"a", L"b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WideStringList list{L"kept"};
        tstrings::splitInto(list, c.text, c.delimiter);
        WideStringList expected{L"kept"};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(list, expected);
    }
}

TEST(Formatted, WideTextAndPadding) {
    EXPECT_EQ(tstrings::formatted(L"%04u/%02u %ls (PID: %u)", 7u, 3u, L"Demo.exe", 42u),
              L"0007/03 Demo.exe (PID: 42)");
    EXPECT_THROW(tstrings::formatted(nullptr), std::invalid_argument);
}

TEST(Formatted, GrowsPast256Units) {
    for (std::size_t length : {255u, 256u, 257u, 511u, 512u, 1000u}) {
        SCOPED_TRACE(length);
        const WideString text(length, L'x');
        EXPECT_EQ(tstrings::formatted(L"%ls", text.c_str()), text);
    }
}

TEST(Formatted, RefusesResultsPastTheCap) {
    const WideString text(tstrings::maxFormattedLength, L'x');
    EXPECT_THROW(tstrings::formatted(L"%ls", text.c_str()), std::runtime_error);
}

} // namespace
