#include "app.h"

#include <cstdio>
#include <memory>
#include <string>
#include <stdexcept>

#include "ErrorHandling.h"
#include "Log.h"
#include "Platform.h"
#include "StringBuilder.h"
#include "Toolbox.h"

namespace {

// Points at app::launch's own error text while a failure is reported.
const std::string* launchErrorSlot = nullptr;

int exitCodeOnReturn = 0;
int exitCodeOnFailure = 1;

// Prints every record as one line on standard error.
class StandardLogAppender : public LogAppender {
public:
    void append(const LogRecord& record) override {
        writeLine(stderr, "[" + tstrings::wideToUtf8(record.levelName) + "] " +
                              tstrings::wideToUtf8(record.sourceFile) + ":" +
                              std::to_string(record.sourceLine) + ": " + tstrings::wideToUtf8(record.text));
    }
};

// Prints the launch error text, whatever the record says.
class LastErrorLogAppender : public LogAppender {
public:
    void append(const LogRecord&) override {
        writeLine(stderr, app::launchErrorText());
    }
};

NopLogAppender nopLogAppender;
StandardLogAppender standardLogAppender;
LastErrorLogAppender lastErrorLogAppender;

// On destruction (when the launch function's block is left, by return or by
// exception) adds the extra appender behind the current one.
class SetLoggerAtEndOfScope {
public:
    SetLoggerAtEndOfScope(std::unique_ptr<WithExtraLogAppender>* holder, LogAppender* extra)
        : holder(holder), extra(extra) {}
    SetLoggerAtEndOfScope(const SetLoggerAtEndOfScope&) = delete;
    SetLoggerAtEndOfScope& operator=(const SetLoggerAtEndOfScope&) = delete;

    ~SetLoggerAtEndOfScope() {
        try {
            holder->reset(new WithExtraLogAppender(*extra));
        } catch (const std::runtime_error& e) {
            logCaughtError(CURRENT_POSITION, e);
        } catch (...) {
            logUnknownError(CURRENT_POSITION);
        }
    }

private:
    std::unique_ptr<WithExtraLogAppender>* holder;
    LogAppender* extra;
};

} // namespace

namespace app {

bool debugSwitchOn() {
    WideString value;
    return platform::environmentVariable(L"VANTORIX_DEBUG", value) && value == L"true";
}

LogAppender& sharedLastErrorLogAppender() {
    return lastErrorLogAppender;
}

void setExitCodeOnReturn(int code) {
    exitCodeOnReturn = code;
}

void setExitCodeOnFailure(int code) {
    exitCodeOnFailure = code;
}

std::string launchErrorText() {
    return launchErrorSlot ? *launchErrorSlot : std::string();
}

int launch(const std::nothrow_t&, LaunchFunction launchFunction, LogAppender* extraAppender) {
    // Nothing may leave this function: the outer frame guards the steps that
    // are not expected to throw (sink choice, trace scope, preparations) so
    // that even their failure ends in exit code 1 instead of termination.
    try {
        LogDispatcher::shared().installAppender(
            debugSwitchOn() ? static_cast<LogAppender*>(&standardLogAppender) : &nopLogAppender);

        const TraceScope trace(Severity::Trace, CURRENT_POSITION, L"app::launch");

        std::unique_ptr<WithExtraLogAppender> withExtraAppender;
        std::string errorText;
        // The slot is cleared however app::launch is left.
        const AtEndOfScope slotReset([] { launchErrorSlot = nullptr; });

        LogAppender* extra = extraAppender ? extraAppender : &lastErrorLogAppender;

        // The three handlers report with one position.
        const SourcePosition handlers = CURRENT_POSITION;
        try {
            const SetLoggerAtEndOfScope setLogger(&withExtraAppender, extra);
            exitCodeOnReturn = 0;
            exitCodeOnFailure = 1;
            launchFunction();
            return exitCodeOnReturn;
        } catch (const VxErrorBase& e) {
            // plainMessage is UTF-8 (paths and config values), so it is
            // decoded rather than widened byte by byte.
            errorText = tstrings::wideToUtf8(
                (StringBuilder() << tstrings::utf8OrBytesToWide(e.plainMessage())).text());
            launchErrorSlot = &errorText;
            try {
                throw;
            } catch (const std::runtime_error& re) {
                logCaughtError(handlers, re);
            }
        } catch (const std::runtime_error& e) {
            errorText = errnoText();
            launchErrorSlot = &errorText;
            logCaughtError(handlers, e);
        } catch (...) {
            errorText = "Unknown error";
            launchErrorSlot = &errorText;
            logUnknownError(handlers);
        }
        return exitCodeOnFailure;
    } catch (...) {
        return 1;
    }
}

} // namespace app
