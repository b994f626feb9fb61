#include <gtest/gtest.h>

#include <cerrno>
#include <new>
#include <stdexcept>

#include "ErrorHandling.h"
#include "LogCapture.h"
#include "EnvGuard.h"
#include "app.h"

namespace {

// Keeps what the extra appender saw, including the launch error text at the
// moment of the report.
class ExtraAppender : public LogAppender {
public:
    void append(const LogRecord& record) override {
        records.push_back(record);
        errorTexts.push_back(app::launchErrorText());
    }
    std::vector<LogRecord> records;
    std::vector<std::string> errorTexts;
};

void succeed() {}
void throwVxError() { throwWithPosition(std::runtime_error("Missing J\xC3\xB6rg.cfg")); }
void throwPlainRuntimeError() {
    errno = ENOENT;
    throw std::runtime_error("ignored message");
}
void throwBadAlloc() { throw std::bad_alloc(); }
void throwLogicError() { throw std::logic_error("logic"); }
void throwInteger() { throw 42; }

class AppLaunch : public ::testing::Test {
protected:
    DispatcherGuard dispatcherGuard;
    EnvGuard debug{L"VANTORIX_DEBUG", std::nullopt};
};

TEST_F(AppLaunch, SuccessReachesNoAppenderAndLeavesTheChosenSink) {
    ExtraAppender extra;
    StdioCapture err(stderr);
    EXPECT_EQ(app::launch(std::nothrow, succeed, &extra), 0);
    EXPECT_TRUE(extra.records.empty());
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(app::launchErrorText(), "");
    LogAppender* installed = LogDispatcher::shared().currentAppender();
    EXPECT_NE(dynamic_cast<NopLogAppender*>(installed), nullptr);
}

void forwardChildCode() { app::setExitCodeOnReturn(3); }
void forwardThenThrow() {
    app::setExitCodeOnReturn(3);
    throwWithPosition(std::runtime_error("failed after all"));
}

TEST_F(AppLaunch, ReturningLaunchFunctionMayChooseTheExitCode) {
    ExtraAppender extra;
    StdioCapture err(stderr);
    EXPECT_EQ(app::launch(std::nothrow, forwardChildCode, &extra), 3);
    // Forwarded codes report nothing, and the next launch starts from 0.
    EXPECT_TRUE(extra.records.empty());
    EXPECT_EQ(app::launch(std::nothrow, succeed, &extra), 0);
    EXPECT_EQ(app::launch(std::nothrow, forwardThenThrow, &extra), 1);
    EXPECT_EQ(extra.records.size(), 1u);
}

TEST_F(AppLaunch, FailureTable) {
    errno = ENOENT;
    const std::string enoentText = errnoText();
    struct Case {
        const char* name;
        LaunchFunction function;
        std::string errorText;
        std::wstring recordPrefix;
    } cases[] = {
        {"VxError", throwVxError, "Missing J\xC3\xB6rg.cfg",
         L"Exception with message 'app_test.cpp("},
        {"runtime_error", throwPlainRuntimeError, enoentText,
         L"Exception with message 'ignored message' caught"},
        {"bad_alloc", throwBadAlloc, "Unknown error", L"Unknown exception caught"},
        {"logic_error", throwLogicError, "Unknown error", L"Unknown exception caught"},
        {"integer", throwInteger, "Unknown error", L"Unknown exception caught"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExtraAppender extra;
        EXPECT_EQ(app::launch(std::nothrow, c.function, &extra), 1);
        ASSERT_EQ(extra.records.size(), 1u);
        EXPECT_EQ(extra.records[0].levelName, L"ERROR");
        EXPECT_EQ(extra.records[0].function, L"app::launch");
        EXPECT_EQ(extra.records[0].sourceFile, L"app.cpp");
        EXPECT_EQ(extra.records[0].text.rfind(c.recordPrefix, 0), 0u) << extra.records[0].text.c_str();
        EXPECT_EQ(extra.errorTexts[0], c.errorText);
        EXPECT_EQ(app::launchErrorText(), "");
        EXPECT_EQ(dynamic_cast<TeeLogAppender*>(LogDispatcher::shared().currentAppender()), nullptr);
    }
}

TEST_F(AppLaunch, DefaultExtraAppenderPrintsTheErrorTextOnStandardError) {
    StdioCapture err(stderr);
    EXPECT_EQ(app::launch(std::nothrow, throwVxError, nullptr), 1);
    EXPECT_EQ(err.text(), "Missing J\xC3\xB6rg.cfg\n");
}

TEST_F(AppLaunch, DebugSwitchWritesTraceAndErrorLinesBeforeTheErrorText) {
    EnvGuard on(L"VANTORIX_DEBUG", L"true");
    StdioCapture err(stderr);
    EXPECT_EQ(app::launch(std::nothrow, throwVxError, nullptr), 1);
    const std::string text = err.text();
    const std::size_t entering = text.find("[TRACE] app.cpp:");
    const std::size_t error = text.find("[ERROR] app.cpp:");
    const std::size_t plain = text.find("\nMissing J\xC3\xB6rg.cfg\n");
    const std::size_t exiting = text.find(": Exiting app::launch (entered at app.cpp:");
    ASSERT_NE(entering, std::string::npos) << text;
    ASSERT_NE(error, std::string::npos) << text;
    ASSERT_NE(plain, std::string::npos) << text;
    ASSERT_NE(exiting, std::string::npos) << text;
    EXPECT_LT(entering, error);
    EXPECT_LT(error, plain);
    EXPECT_LT(plain, exiting);
    EXPECT_NE(text.find("[TRACE] app.cpp:0: Exiting app::launch"), std::string::npos) << text;
    EXPECT_NE(text.find("Entering app::launch\n"), std::string::npos) << text;
    EXPECT_NE(text.find("' caught\n"), std::string::npos) << text;
}

TEST_F(AppLaunch, DebugSwitchIsExactlyTrue) {
    for (const wchar_t* value : {L"", L"TRUE", L" true", L"true ", L"1", L"yes"}) {
        SCOPED_TRACE(tstrings::wideToUtf8(value));
        EnvGuard set(L"VANTORIX_DEBUG", value);
        EXPECT_FALSE(app::debugSwitchOn());
    }
    EnvGuard on(L"VANTORIX_DEBUG", L"true");
    EXPECT_TRUE(app::debugSwitchOn());
}

TEST_F(AppLaunch, AnAppenderThatThrowsDoesNotEscape) {
    struct Throwing : LogAppender {
        void append(const LogRecord&) override { throw std::runtime_error("sink failed"); }
    } throwing;
    EXPECT_EQ(app::launch(std::nothrow, throwVxError, &throwing), 1);
    EXPECT_EQ(app::launch(std::nothrow, throwInteger, &throwing), 1);
    EXPECT_EQ(app::launch(std::nothrow, succeed, &throwing), 0);
}

} // namespace
