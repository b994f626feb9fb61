#include <gtest/gtest.h>

#include <regex>
#include <cstdio>
#include <string>

#include "LogCapture.h"
#include "Log.h"

namespace {

LogRecord sampleRecord() {
    LogRecord record;
    record.time = LocalTime{2024, 3, 2, 5, 9, 7, 2, 45};
    record.processId = 1234;
    record.threadId = 56;
    record.processName = L"Demo.exe";
    record.levelName = L"ERROR";
    record.sourceFile = L"app.cpp";
    record.sourceLine = -3;
    record.function = L"app::launch";
    record.text = L"J\u00F6rg";
    return record;
}

// What a sink wrote to a temporary file.
std::string contentOf(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string bytes;
    char chunk[4096];
    std::size_t count = 0;
    while ((count = std::fread(chunk, 1, sizeof(chunk), file)) > 0) {
        bytes.append(chunk, count);
    }
    return bytes;
}

TEST(StreamLogAppender, WritesTheTwoLineRecord) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    StreamLogAppender(out).append(sampleRecord());
    EXPECT_EQ(contentOf(out),
              "[2024/03/05 09:07:02.045, Demo.exe (PID: 1234, TID: 56), app.cpp:-3 (app::launch)]\n"
              "\tERROR: J\xC3\xB6rg\n");
    std::fclose(out);
}

TEST(LogDispatcher, StampsRecordsWithTimeIdsAndBaseName) {
    DispatcherGuard guard;
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    StreamLogAppender appender(out);
    LogDispatcher::shared().installAppender(&appender);
    LogDispatcher::shared().write(Severity::Warning, L"C:\\src/dir\\Log_test.cpp", 17, L"f::g",
                                  WideString(L"message"));
    const std::regex layout(
        "\\[\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}, [^ ]+ \\(PID: \\d+, TID: \\d+\\), "
        "Log_test\\.cpp:17 \\(f::g\\)\\]\n\tWARNING: message\n");
    const std::string text = contentOf(out);
    EXPECT_TRUE(std::regex_match(text, layout)) << text;
    std::fclose(out);
    EXPECT_NE(WideString(logProcessName()), L"Unknown");
}

TEST(LogDispatcher, LevelWordsAndShorthandPositions) {
    DispatcherGuard guard;
    CapturingLogAppender capture;
    LogDispatcher::shared().installAppender(&capture);
    LogDispatcher::shared().write(static_cast<Severity>(7), L"f", 1, L"g", WideString());
    const int line = __LINE__ + 1;
    logWarning("value " << 42 << L" wide");
    ASSERT_EQ(capture.records.size(), 2u);
    EXPECT_EQ(capture.records[0].levelName, L"UNKNOWN");
    EXPECT_EQ(capture.records[1].levelName, L"WARNING");
    EXPECT_EQ(capture.records[1].sourceFile, L"Log_test.cpp");
    EXPECT_EQ(capture.records[1].sourceLine, line);
    EXPECT_EQ(capture.records[1].text, L"value 42 wide");
}

TEST(LogDispatcher, RefusedLevelDoesNotBuildTheMessage) {
    DispatcherGuard guard;
    CapturingLogAppender capture;
    LogDispatcher::shared().installAppender(&capture);
    LogDispatcher::shared().setMinimumLevel(Severity::Error);
    int built = 0;
    auto count = [&built]() { return ++built; };
    logTrace("never " << count());
    EXPECT_EQ(built, 0);
    EXPECT_TRUE(capture.records.empty());
}

TEST(TeeLogAppender, ForwardsToBothAndSkipsNullTargets) {
    CapturingLogAppender first;
    CapturingLogAppender second;
    TeeLogAppender(&first, &second).append(sampleRecord());
    TeeLogAppender(nullptr, &second).append(sampleRecord());
    TeeLogAppender(&first, nullptr).append(sampleRecord());
    EXPECT_EQ(first.records.size(), 2u);
    EXPECT_EQ(second.records.size(), 2u);
}

TEST(WithExtraLogAppender, TeesAndRestoresThePreviousSink) {
    DispatcherGuard guard;
    CapturingLogAppender base;
    CapturingLogAppender extra;
    CapturingLogAppender other;
    LogDispatcher::shared().installAppender(&base);
    {
        WithExtraLogAppender withExtra(extra);
        logError("both");
        LogDispatcher::shared().installAppender(&other);
    }
    EXPECT_EQ(LogDispatcher::shared().currentAppender(), &base);
    EXPECT_EQ(base.records.size(), 1u);
    EXPECT_EQ(extra.records.size(), 1u);
}

TEST(TraceScope, EntryAndExitLines) {
    DispatcherGuard guard;
    CapturingLogAppender capture;
    LogDispatcher::shared().installAppender(&capture);
    { TraceScope scope(LogDispatcher::shared(), Severity::Trace, L"C:\\x\\file.cpp", 123, L"app::launch", L"app::launch"); }
    ASSERT_EQ(capture.records.size(), 2u);
    EXPECT_EQ(capture.records[0].text, L"Entering app::launch");
    EXPECT_EQ(capture.records[0].sourceLine, 123);
    EXPECT_EQ(capture.records[0].sourceFile, L"file.cpp");
    EXPECT_EQ(capture.records[1].text, L"Exiting app::launch (entered at file.cpp:123)");
    EXPECT_EQ(capture.records[1].sourceLine, 0);
    EXPECT_EQ(capture.records[1].function, L"app::launch");
}

TEST(TraceScope, InactiveScopeStaysSilentEvenIfTheLevelOpensLater) {
    DispatcherGuard guard;
    CapturingLogAppender capture;
    LogDispatcher::shared().installAppender(&capture);
    LogDispatcher::shared().setMinimumLevel(Severity::Warning);
    {
        TraceScope scope(Severity::Trace, CURRENT_POSITION, L"quiet");
        LogDispatcher::shared().setMinimumLevel(Severity::Trace);
    }
    EXPECT_TRUE(capture.records.empty());
}

} // namespace
