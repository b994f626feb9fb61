#pragma once

// StringLineReader: the lines of a text held in memory, one at a time, as
// std::getline gives them from a string stream without the stream (the
// launcher links no iostreams, docs/performance.md). A line ends at LF,
// which is not part of it; a CR before the LF stays, for the caller to
// trim. A last line without LF is a line; an LF at the very end starts
// none.

#include <cstddef>
#include <string>
#include <string_view>

class StringLineReader {
public:
    // The text is not copied: it must outlive the reader.
    explicit StringLineReader(std::string_view text) : text(text) {}

    // The next line: false once the text is used up.
    bool next(std::string& line);

private:
    std::string_view text;
    std::size_t position = 0;
};
