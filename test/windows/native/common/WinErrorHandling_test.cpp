#include <gtest/gtest.h>

#include <memory>

#include "LogCapture.h"
#include "ScopedHandle.h"
#include "TestFixture.h"
#include "WinErrorHandling.h"

namespace {

constexpr DWORD periodsAndBlanksCode = 0x20000001;
constexpr DWORD twoLinesCode = 0x20000002;
constexpr DWORD tabAndInnerPeriodsCode = 0x20000003;
constexpr DWORD unknownCode = 0x2000ABCD;

std::string utf8(const WideString& text) {
    return tstrings::wideToUtf8(text);
}

HMODULE moduleOf(const void* address) {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCWSTR>(address), &module);
    return module;
}

// The system part as it follows the label and code.
std::string systemPart(DWORD code, HMODULE module) {
    return "(system error " + std::to_string(code) + " (" +
           utf8(systemMessageText(code, module)) + "))";
}

// The fixture library, loaded for as long as the owner lives.
ScopedModule loadFixtureLibrary() {
    return ScopedModule(LoadLibraryW(testfixture::fixtureDllPath().c_str()));
}

const void* fixtureFunction(const ScopedModule& fixture) {
    return reinterpret_cast<const void*>(GetProcAddress(fixture.get(), "vxFixtureAnswer"));
}

const WideString missingLibrary = L"C:\\vx-no-such-directory\\missing.dll";

[[noreturn]] void failLoading() {
    const ScopedModule module(LoadLibraryW(missingLibrary.c_str()));
    throwLastError(&LoadLibraryW, "LoadLibraryW(" << missingLibrary << ") failed");
}

TEST(SysError, FailedLibraryLoadNamesCallCodeAndDescription) {
    const std::string expected =
        "LoadLibraryW(C:\\vx-no-such-directory\\missing.dll) failed. System error [126]" +
        systemPart(126, moduleOf(reinterpret_cast<const void*>(&LoadLibraryW)));
    try {
        failLoading();
    } catch (const VxError<SysError>& e) {
        EXPECT_STREQ(e.plainMessage(), expected.c_str());
        const std::string what = e.what();
        EXPECT_EQ(what.rfind("WinErrorHandling_test.cpp(", 0), 0u) << what;
        EXPECT_NE(what.find(") at `anonymous-namespace'::failLoading(): " + expected),
                  std::string::npos)
            << what;
        const std::runtime_error& base = e;
        EXPECT_STREQ(base.what(), e.what());
    }
}

TEST(SysError, FailedCallIsNamedFromTheCall) {
    const std::string kernel = systemPart(6, moduleOf(reinterpret_cast<const void*>(&CloseHandle)));
    const struct {
        void (*raise)();
        std::string expected;
    } cases[] = {
        {[] { SetLastError(6); throwLastErrorOf(CloseHandle); }, "CloseHandle() failed. System error [6]" + kernel},
        {[] { SetLastError(6); throwLastErrorOfCall(CloseHandle, "h" << 1); },
         "CloseHandle(h1) failed. System error [6]" + kernel},
        {[] { throwSysErrorOf(CloseHandle, 6); }, "CloseHandle() failed. System error [6]" + kernel},
    };
    for (const auto& c : cases) {
        try {
            c.raise();
            ADD_FAILURE() << "no exception";
        } catch (const VxError<SysError>& e) {
            EXPECT_EQ(std::string(e.plainMessage()), c.expected);
        }
    }
}

TEST(SysError, DescriptionIsOneCleanLine) {
    for (DWORD code : {DWORD{0}, DWORD{2}, DWORD{5}, DWORD{126}, DWORD{203}}) {
        SCOPED_TRACE(code);
        const WideString text = systemMessageText(code, nullptr);
        ASSERT_FALSE(text.empty());
        EXPECT_NE(text, L"No description available");
        EXPECT_NE(text.back(), L'.');
        EXPECT_NE(text.back(), L' ');
        for (wchar_t ch : text) {
            EXPECT_GE(ch, L' ') << utf8(text);
        }
    }
}

TEST(SysError, TextComposition) {
    struct Case {
        const char* message;
        DWORD code;
        const char* label;
        std::string expected;
    } cases[] = {
        {"Call(x) failed", 0, "System error", "Call(x) failed. System error [0]" + systemPart(0, nullptr)},
        {"Call(x) failed", 5, nullptr, "Call(x) failed. Some error [5]" + systemPart(5, nullptr)},
        {"Reading config:  ", 2, "System error", "Reading config: System error [2]" + systemPart(2, nullptr)},
        {"", 2, "System error", "System error [2]" + systemPart(2, nullptr)},
        {"Not in the system's table", unknownCode, "System error",
         "Not in the system's table. System error [536914893](system error 536914893 (No description available))"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const SysError error(StringBuilder() << c.message, nullptr, c.code, c.label);
        EXPECT_EQ(error.what(), c.expected);
    }
}

TEST(SysError, FailedFunctionSelectsItsModulesMessageTable) {
    const ScopedModule fixture = loadFixtureLibrary();
    ASSERT_NE(fixtureFunction(fixture), nullptr);
    const SysError error(StringBuilder() << "Probe failed", fixtureFunction(fixture), twoLinesCode);
    EXPECT_STREQ(error.what(),
                 "Probe failed. System error [536870914](system error 536870914 (First line  second line))");
}

TEST(SysError, UnknownModuleWarnsAndLeavesOutTheSystemPart) {
    DispatcherGuard restore;
    CapturingLogAppender capture;
    LogDispatcher::shared().installAppender(&capture);
    LogDispatcher::shared().setMinimumLevel(Severity::Trace);

    // Heap memory belongs to no module.
    const auto notCode = std::make_unique<int>(0);
    const SysError error(StringBuilder() << "Probe failed", notCode.get(), 5);
    EXPECT_STREQ(error.what(), "Probe failed. System error [5]");
    ASSERT_EQ(capture.records.size(), 1u);
    const LogRecord& record = capture.records[0];
    EXPECT_EQ(record.levelName, L"WARNING");
    EXPECT_EQ(record.text, L"GetModuleHandleEx() failed for " +
                               (StringBuilder() << static_cast<const void*>(notCode.get())).text() +
                               L" address.");
    EXPECT_EQ(record.function, L"`anonymous-namespace'::makeMessage");

    // A null address is no failed lookup: the system table, and no warning.
    capture.records.clear();
    const SysError direct(StringBuilder() << "Probe failed", nullptr, 5);
    EXPECT_EQ(direct.what(), "Probe failed. System error [5]" + systemPart(5, nullptr));
    EXPECT_TRUE(capture.records.empty());

    // Below the dispatcher's level the warning is not written at all.
    LogDispatcher::shared().setMinimumLevel(Severity::Error);
    const SysError quiet(StringBuilder() << "Probe failed", notCode.get(), 5);
    EXPECT_STREQ(quiet.what(), "Probe failed. System error [5]");
    EXPECT_TRUE(capture.records.empty());
}

TEST(SystemMessageText, CleansModuleDescriptions) {
    const ScopedModule fixture = loadFixtureLibrary();
    ASSERT_NE(fixture.get(), nullptr);
    const struct {
        DWORD code;
        const wchar_t* expected;
    } cases[] = {
        // Only periods and blanks: the first character stays.
        {periodsAndBlanksCode, L"."},
        {twoLinesCode, L"First line  second line"},
        {tabAndInnerPeriodsCode, L"Tab here, v1.2 inside"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(systemMessageText(c.code, fixture.get()), c.expected);
    }
    // Codes the module does not describe come from the system's table.
    EXPECT_EQ(systemMessageText(126, fixture.get()), systemMessageText(126, nullptr));
    EXPECT_EQ(systemMessageText(unknownCode, fixture.get()), L"No description available");
    EXPECT_EQ(systemMessageText(twoLinesCode, nullptr), L"No description available");
    EXPECT_EQ(systemErrorText(twoLinesCode, fixture.get()),
              L"system error 536870914 (First line  second line)");
}

TEST(CombineMessages, SeparatorFollowsTheLastVisibleCharacter) {
    const struct {
        const char* message;
        const char* more;
        const char* expected;
    } cases[] = {
        {"Open failed", "System error [5]", "Open failed. System error [5]"},
        {"Open failed:", "  System error [5]\r\n", "Open failed: System error [5]"},
        {"Open failed:\t \n", "System error", "Open failed: System error"},
        {"Done;", "more", "Done; more"},
        {"Done.", "more", "Done. more"},
        {"Done,", "more", "Done, more"},
        {"Done!", "more", "Done! more"},
        {"Done?", "more", "Done? more"},
        {"Done)", "more", "Done). more"},
        {"", "  more  ", "more"},
        {"   ", "more", "more"},
        {"Open failed  ", "   ", "Open failed"},
        {"Open failed:", "", "Open failed:"},
        {"", "", ""},
        // Bytes of UTF-8 sequences are never white space (U+00A0 and U+2028).
        {"Gr\xC3\xBC\xC3\x9F\xC2\xA0", "\xE2\x80\xA8more", "Gr\xC3\xBC\xC3\x9F\xC2\xA0. \xE2\x80\xA8more"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.message) + "|" + c.more);
        EXPECT_EQ(combineMessages(c.message, c.more), c.expected);
    }
}

} // namespace
