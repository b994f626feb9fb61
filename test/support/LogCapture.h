#pragma once

// Test helpers for logging: a sink that keeps its records, and guards that
// restore the process-wide state a test changes.

#include <iostream>
#include <sstream>
#include <vector>

#include "Log.h"

class CapturingLogAppender : public LogAppender {
public:
    void append(const LogRecord& record) override { records.push_back(record); }
    std::vector<LogRecord> records;
};

// Restores the dispatcher's sink and minimum level.
class DispatcherGuard {
public:
    DispatcherGuard()
        : appender(LogDispatcher::shared().currentAppender()),
          level(LogDispatcher::shared().minimumLevelValue()) {}
    ~DispatcherGuard() {
        LogDispatcher::shared().installAppender(appender);
        LogDispatcher::shared().setMinimumLevel(level);
    }
    DispatcherGuard(const DispatcherGuard&) = delete;
    DispatcherGuard& operator=(const DispatcherGuard&) = delete;

private:
    LogAppender* appender;
    Severity level;
};

// Routes every record into a capturing sink while it exists.
class ScopedLogCapture {
public:
    ScopedLogCapture() {
        LogDispatcher::shared().installAppender(&sink);
        LogDispatcher::shared().setMinimumLevel(Severity::Trace);
    }
    ScopedLogCapture(const ScopedLogCapture&) = delete;
    ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

    const std::vector<LogRecord>& records() const { return sink.records; }

    std::vector<WideString> textsOf(const WideString& function) const {
        std::vector<WideString> texts;
        for (const LogRecord& record : sink.records) {
            if (record.function == function) {
                texts.push_back(record.text);
            }
        }
        return texts;
    }

private:
    DispatcherGuard guard;
    CapturingLogAppender sink;
};

// Captures what is written to a standard stream object for its lifetime.
class StreamCapture {
public:
    explicit StreamCapture(std::ostream& stream) : stream(stream), saved(stream.rdbuf(buffer.rdbuf())) {}
    ~StreamCapture() { stream.rdbuf(saved); }
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;
    std::string text() const { return buffer.str(); }

private:
    std::ostream& stream;
    std::ostringstream buffer;
    std::streambuf* saved;
};
