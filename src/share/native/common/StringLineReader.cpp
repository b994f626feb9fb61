#include "StringLineReader.h"

bool StringLineReader::next(std::string& line) {
    if (position >= text.size()) {
        return false;
    }
    std::size_t end = text.find('\n', position);
    if (end == std::string_view::npos) {
        end = text.size();
    }
    line.assign(text.substr(position, end - position));
    position = end + 1;
    return true;
}
