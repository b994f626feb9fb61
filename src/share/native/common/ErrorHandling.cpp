#include "ErrorHandling.h"

#include <cerrno>

#include "Log.h"
#include "Platform.h"
#include "StringBuilder.h"

std::string messageWithPosition(const std::exception& error, const SourcePosition& position) {
    // The base name goes through the builder's decoding; valid UTF-8 stays as it is.
    return (StringBuilder() << position.fileBaseName() << "(" << position.line << ") at "
                            << position.functionName() << "(): ")
               .utf8() +
           error.what();
}

std::string errnoText() {
    const int errorNumber = errno;
    wchar_t buffer[2048];
    if (!platform::errnoDescription(errorNumber, buffer, sizeof(buffer) / sizeof(buffer[0]))) {
        return std::string();
    }
    return tstrings::wideToUtf8(buffer);
}

void logErrorAtPosition(const SourcePosition& position, const WideString& text) {
    try {
        const WideString file = tstrings::utf8ToWide(position.fileBaseName());
        const WideString function = tstrings::utf8ToWide(position.functionName());
        LogDispatcher::shared().write(Severity::Error, file.c_str(), position.line,
                                      function.c_str(), text);
    } catch (...) {
        // A sink that fails while an error is reported must not turn the
        // report into a second failure; the record is lost.
    }
}

void logCaughtError(const SourcePosition& position, const std::exception& error) {
    try {
        // what() is UTF-8 (paths from the file system and the config file).
        const StringBuilder text = StringBuilder()
                                   << "Exception with message '"
                                   << tstrings::utf8OrBytesToWide(error.what()) << "' caught";
        logErrorAtPosition(position, text.text());
    } catch (...) {
    }
}

void logUnknownError(const SourcePosition& position) {
    try {
        logErrorAtPosition(position, L"Unknown exception caught");
    } catch (...) {
    }
}
