#pragma once

// The process-wide log dispatcher, its records and sinks, trace scopes and
// the call-site shorthands. Levels are tested before a message is built.

#include <cstdint>
#include <cstdio>
#include <string>

#include "LocalTime.h"
#include "SourcePosition.h"
#include "StringBuilder.h"
#include "tstrings.h"

enum class Severity : std::int32_t { Trace = 0, Info = 1, Warning = 2, Error = 3 };

// "TRACE", "INFO", "WARNING", "ERROR"; "UNKNOWN" for any other value.
const wchar_t* severityName(Severity level);

struct LogRecord {
    LocalTime time{};
    std::uint32_t threadId = 0;
    std::uint32_t processId = 0;
    const wchar_t* processName = L"";
    WideString levelName;
    WideString sourceFile;
    std::int32_t sourceLine = 0;
    WideString function;
    WideString text;
};

class LogAppender {
public:
    virtual ~LogAppender() = default;
    virtual void append(const LogRecord& record) = 0;
};

// Two-line records in UTF-8 on a byte stream (not owned).
class StreamLogAppender : public LogAppender {
public:
    explicit StreamLogAppender(std::FILE* stream) : stream(stream) {}
    void append(const LogRecord& record) override;

private:
    std::FILE* stream;
};

// Writes the bytes and a line break, then flushes: a record is complete on
// the stream before the next thing happens (a crash, a message box).
void writeLine(std::FILE* stream, const std::string& bytes);

// Forwards to the first sink, then to the second; either may be null.
class TeeLogAppender : public LogAppender {
public:
    TeeLogAppender(LogAppender* first, LogAppender* second) : first(first), second(second) {}
    void append(const LogRecord& record) override;

private:
    LogAppender* first;
    LogAppender* second;
};

class NopLogAppender : public LogAppender {
public:
    void append(const LogRecord&) override {}
};

class LogDispatcher {
public:
    // Installs the default stream sink (standard output) on first use and
    // determines the process name once.
    static LogDispatcher& shared();

    bool accepts(Severity level) const {
        return static_cast<std::int32_t>(level) >= minimumLevel;
    }

    // Writes without consulting accepts().
    void write(Severity level, const wchar_t* sourceFile, std::int32_t line,
               const wchar_t* function, const WideString& message);
    void write(Severity level, const wchar_t* sourceFile, std::int32_t line,
               const wchar_t* function, const StringBuilder& message);
    void write(Severity level, const SourcePosition& position, const StringBuilder& message);

    // The dispatcher never owns or destroys a sink.
    void installAppender(LogAppender* appender) { this->appender = appender; }
    LogAppender* currentAppender() const { return appender; }

    // The launcher itself never changes the level; tests and embedders may.
    void setMinimumLevel(Severity level) { minimumLevel = static_cast<std::int32_t>(level); }
    Severity minimumLevelValue() const { return static_cast<Severity>(minimumLevel); }

private:
    std::int32_t minimumLevel = static_cast<std::int32_t>(Severity::Trace);
    LogAppender* appender = nullptr;
};

// The current process name as records show it ("Unknown" until determined).
const wchar_t* logProcessName();

// While it exists the dispatcher writes to a tee of the sink that was
// current at construction and the extra sink; destruction puts the previous
// sink back. The dispatcher points at the member tee, so it never moves.
class WithExtraLogAppender {
public:
    explicit WithExtraLogAppender(LogAppender& extra);
    virtual ~WithExtraLogAppender();
    WithExtraLogAppender(const WithExtraLogAppender&) = delete;
    WithExtraLogAppender& operator=(const WithExtraLogAppender&) = delete;

private:
    LogAppender* previous;
    TeeLogAppender tee;
};

// Logs "Entering <scope>" when made and "Exiting <scope> (entered at
// <file>:<line>)" at line 0 when destroyed, if its level was accepted when
// it was made.
class TraceScope {
public:
    TraceScope(LogDispatcher& dispatcher, Severity level, const wchar_t* sourceFile,
               std::int32_t line, const wchar_t* function, const WideString& scopeName);
    TraceScope(Severity level, const SourcePosition& position, const WideString& scopeName);
    ~TraceScope();
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

private:
    LogDispatcher* dispatcher;
    Severity level;
    WideString sourceFile;
    std::int32_t line;
    WideString function;
    WideString scopeName;
    bool active;
};

#define VX_LOG_AT(level, message)                                                     \
    do {                                                                              \
        ::LogDispatcher& vxLogDispatcher = ::LogDispatcher::shared();                 \
        if (vxLogDispatcher.accepts(level)) {                                         \
            vxLogDispatcher.write((level), CURRENT_POSITION, ::StringBuilder() << message); \
        }                                                                             \
    } while (false)

#define logTrace(message) VX_LOG_AT(::Severity::Trace, message)
#define logInfo(message) VX_LOG_AT(::Severity::Info, message)
#define logWarning(message) VX_LOG_AT(::Severity::Warning, message)
#define logError(message) VX_LOG_AT(::Severity::Error, message)
