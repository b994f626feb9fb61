#include "TextLineReader.h"

namespace {

const char utf8ByteOrderMark[] = "\xEF\xBB\xBF";
constexpr std::size_t byteOrderMarkLength = 3;

} // namespace

TextLineReader::TextLineReader(const WideString& path, std::size_t maxLineBytes)
    // The OS half opens the file; everything from its bytes on is read here.
    : file(FileUtils::openInputFile(path)), maxLineBytes(maxLineBytes) {}

bool TextLineReader::next(Line& line) {
    if (!file) {
        return false;
    }
    bool cut = false;
    // Room for a byte-order mark on top of a first line of full length.
    const std::size_t limit =
        lineNumber == 0 && maxLineBytes < bytes.max_size() - byteOrderMarkLength
            ? maxLineBytes + byteOrderMarkLength
            : maxLineBytes;
    if (!file->readLine(bytes, limit, cut)) {
        return false;
    }
    ++lineNumber;
    // Editors that add a byte-order mark would otherwise hide the first
    // line behind three characters nobody sees.
    if (lineNumber == 1 && bytes.compare(0, byteOrderMarkLength, utf8ByteOrderMark) == 0) {
        bytes.erase(0, byteOrderMarkLength);
    }
    line.number = lineNumber;
    line.tooLong = cut || bytes.size() > maxLineBytes;
    line.text = line.tooLong ? WideString() : tstrings::utf8ToWide(bytes);
    line.validUtf8 = line.tooLong || !line.text.empty() || bytes.empty();
    return true;
}
