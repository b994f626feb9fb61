#pragma once

// The one reader of the launcher's line-oriented text files: the config file
// and the user's JVM options file. Lines end at LF (a CR before it is never
// part of the line), are numbered from 1 and decoded from UTF-8; a UTF-8
// byte-order mark at the very start of the file is dropped.

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include "FileUtils.h"
#include "tstrings.h"

class TextLineReader {
public:
    struct Line {
        std::size_t number = 0;
        // The decoded text; empty when the line is empty, cut or not UTF-8.
        WideString text;
        // Longer than the reader's byte limit: the rest went unread.
        bool tooLong = false;
        // Not valid UTF-8 (a line saved in an ANSI code page).
        bool validUtf8 = true;
    };

    // Opens the file; opened() tells whether that worked, and errno why
    // not. Lines longer than maxLineBytes (their bytes as stored, without
    // the line end) are reported as too long.
    explicit TextLineReader(const WideString& path,
                            std::size_t maxLineBytes = std::string().max_size());

    bool opened() const { return file != nullptr; }

    // The next line: false at the end of the file and on a read error.
    bool next(Line& line);

    // Whether reading stopped at a read error; errno tells why.
    bool failed() const { return file && file->failed(); }

    // The open file's stream; null when it could not be opened.
    std::FILE* stream() const { return file ? file->handle() : nullptr; }

private:
    std::unique_ptr<FileUtils::InputFile> file;
    std::size_t maxLineBytes;
    std::size_t lineNumber = 0;
    std::string bytes;
};
