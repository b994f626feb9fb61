#pragma once

// Test helpers for logging: a sink that keeps its records, and guards that
// restore the process-wide state a test changes.

#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

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

// Captures what is written to a stdio stream (stdout, stderr) for its
// lifetime: its file descriptor points at a temporary file meanwhile.
class StdioCapture {
public:
    explicit StdioCapture(std::FILE* stream)
        : stream(stream), file(std::tmpfile()) {
        std::fflush(stream);
        saved = vxDup(vxFileno(stream));
        if (file) {
            vxDup2(vxFileno(file), vxFileno(stream));
        }
    }
    ~StdioCapture() {
        std::fflush(stream);
        vxDup2(saved, vxFileno(stream));
        vxClose(saved);
        if (file) {
            std::fclose(file);
        }
    }
    StdioCapture(const StdioCapture&) = delete;
    StdioCapture& operator=(const StdioCapture&) = delete;

    std::string text() const {
        std::fflush(stream);
        std::string bytes;
        if (!file) {
            return "(no temporary file)";
        }
        std::rewind(file);
        char chunk[4096];
        std::size_t count = 0;
        while ((count = std::fread(chunk, 1, sizeof(chunk), file)) > 0) {
            bytes.append(chunk, count);
        }
        return bytes;
    }

private:
#ifdef _WIN32
    static int vxDup(int fd) { return _dup(fd); }
    static int vxDup2(int from, int to) { return _dup2(from, to); }
    static int vxClose(int fd) { return _close(fd); }
    static int vxFileno(std::FILE* f) { return _fileno(f); }
#else
    static int vxDup(int fd) { return dup(fd); }
    static int vxDup2(int from, int to) { return dup2(from, to); }
    static int vxClose(int fd) { return close(fd); }
    static int vxFileno(std::FILE* f) { return fileno(f); }
#endif

    std::FILE* stream;
    std::FILE* file;
    int saved = -1;
};
