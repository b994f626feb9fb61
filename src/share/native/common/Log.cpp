#include "Log.h"

#include <algorithm>
#include <cstdio>

#include "FileUtils.h"
#include "Platform.h"

namespace {

constexpr std::size_t processNameCapacity = 260;

enum class NameState { NotDetermined, BeingDetermined, Determined };

wchar_t processName[processNameCapacity] = L"Unknown";
NameState processNameState = NameState::NotDetermined;

LogDispatcher dispatcher;

void determineProcessName() {
    WideString name = L"Unknown";
    WideString path;
    if (platform::ownModulePath(path)) {
        name = FileUtils::fileNameOf(path);
    }
    const std::size_t length = std::min(name.size(), processNameCapacity - 1);
    name.copy(processName, length);
    processName[length] = L'\0';
}

} // namespace

const wchar_t* severityName(Severity level) {
    switch (level) {
    case Severity::Trace:
        return L"TRACE";
    case Severity::Info:
        return L"INFO";
    case Severity::Warning:
        return L"WARNING";
    case Severity::Error:
        return L"ERROR";
    }
    return L"UNKNOWN";
}

const wchar_t* logProcessName() {
    return processName;
}

LogDispatcher& LogDispatcher::shared() {
    if (!dispatcher.appender) {
        static StreamLogAppender standardOutput(stdout);
        dispatcher.appender = &standardOutput;
    }
    if (processNameState == NameState::BeingDetermined) {
        // A record written while the name is being determined shows no name.
        processName[0] = L'\0';
    } else if (processNameState == NameState::NotDetermined) {
        processNameState = NameState::BeingDetermined;
        determineProcessName();
        processNameState = NameState::Determined;
    }
    return dispatcher;
}

void LogDispatcher::write(Severity level, const wchar_t* sourceFile, std::int32_t line,
                          const wchar_t* function, const WideString& message) {
    LogRecord record;
    record.time = platform::localTime();
    record.processId = platform::processId();
    record.threadId = platform::threadId();
    record.processName = processName;
    record.sourceFile = FileUtils::fileNameOf(sourceFile ? sourceFile : L"");
    record.function = function ? function : L"";
    record.levelName = severityName(level);
    record.sourceLine = line;
    record.text = message;
    if (appender) {
        appender->append(record);
    }
}

void LogDispatcher::write(Severity level, const wchar_t* sourceFile, std::int32_t line,
                          const wchar_t* function, const StringBuilder& message) {
    write(level, sourceFile, line, function, message.text());
}

void LogDispatcher::write(Severity level, const SourcePosition& position,
                          const StringBuilder& message) {
    const WideString file = tstrings::utf8ToWide(position.fileBaseName());
    const WideString function = tstrings::utf8ToWide(position.functionName());
    write(level, file.c_str(), position.line, function.c_str(), message.text());
}

void StreamLogAppender::append(const LogRecord& record) {
    WideString text = L"[";
    text += tstrings::formatted(L"%04u/%02u/%02u %02u:%02u:%02u.%03u, %ls (PID: %u, TID: %u), ",
                                unsigned{record.time.year}, unsigned{record.time.month},
                                unsigned{record.time.day}, unsigned{record.time.hour},
                                unsigned{record.time.minute}, unsigned{record.time.second},
                                unsigned{record.time.milliseconds}, record.processName,
                                unsigned{record.processId}, unsigned{record.threadId});
    text += (StringBuilder() << record.sourceFile << ":" << record.sourceLine << " ("
                             << record.function << ")]\n\t" << record.levelName << ": "
                             << record.text)
                .text();
    writeLine(stream, tstrings::wideToUtf8(text));
}

void writeLine(std::FILE* stream, const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void TeeLogAppender::append(const LogRecord& record) {
    if (first) {
        first->append(record);
    }
    if (second) {
        second->append(record);
    }
}

WithExtraLogAppender::WithExtraLogAppender(LogAppender& extra)
    : previous(LogDispatcher::shared().currentAppender()), tee(previous, &extra) {
    LogDispatcher::shared().installAppender(&tee);
}

WithExtraLogAppender::~WithExtraLogAppender() {
    LogDispatcher::shared().installAppender(previous);
}

TraceScope::TraceScope(LogDispatcher& dispatcher, Severity level, const wchar_t* sourceFile,
                       std::int32_t line, const wchar_t* function, const WideString& scopeName)
    : dispatcher(&dispatcher), level(level), sourceFile(sourceFile ? sourceFile : L""),
      line(line), function(function ? function : L""), scopeName(scopeName),
      active(dispatcher.accepts(level)) {
    if (active) {
        dispatcher.write(level, this->sourceFile.c_str(), line, this->function.c_str(),
                         StringBuilder() << "Entering " << scopeName);
    }
}

TraceScope::TraceScope(Severity level, const SourcePosition& position, const WideString& scopeName)
    : dispatcher(&LogDispatcher::shared()), level(level), line(position.line),
      scopeName(scopeName), active(dispatcher->accepts(level)) {
    if (active) {
        sourceFile = tstrings::utf8ToWide(position.fileBaseName());
        function = tstrings::utf8ToWide(position.functionName());
        dispatcher->write(level, sourceFile.c_str(), line, function.c_str(),
                          StringBuilder() << "Entering " << scopeName);
    }
}

TraceScope::~TraceScope() {
    if (!active) {
        return;
    }
    try {
        dispatcher->write(level, sourceFile.c_str(), 0, function.c_str(),
                          StringBuilder() << "Exiting " << scopeName << " (entered at "
                                          << FileUtils::fileNameOf(sourceFile) << ":" << line << ")");
    } catch (...) {
        // A destructor that logs must not throw; the record is lost.
    }
}
