#include "FileUtils.h"

#include <cstdio>

#include <cstring>

#include "Platform.h"

namespace FileUtils {

namespace {

// Index of the last separator among the first `end` characters, or npos.
std::size_t lastSeparatorBefore(const WideString& path, std::size_t end) {
    while (end > 0) {
        --end;
        if (isPathSeparator(path[end])) {
            return end;
        }
    }
    return WideString::npos;
}

} // namespace

bool isPathSeparator(wchar_t ch) {
    return ch == L'\\' || ch == L'/';
}

WideString trimTrailingSeparators(const WideString& path) {
    std::size_t end = path.size();
    while (end > 0 && isPathSeparator(path[end - 1])) {
        --end;
    }
    return path.substr(0, end);
}

WideString joinPath(const WideString& a, const WideString& b) {
    if (a.empty()) {
        return b;
    }
    if (b.empty()) {
        return a;
    }
    // Only one leading separator of b belongs to the joint.
    const std::size_t skip = isPathSeparator(b.front()) ? 1 : 0;
    return trimTrailingSeparators(a) + platform::pathSeparator + b.substr(skip);
}

WideString fileNameOf(const WideString& path) {
    const std::size_t separator = lastSeparatorBefore(path, path.size());
    if (separator == WideString::npos) {
        return path;
    }
    return path.substr(separator + 1);
}

WideString directoryOf(const WideString& path) {
    std::size_t searchEnd = path.size();
    // "dir\." names dir itself, so its parent is wanted.
    if (searchEnd >= 2 && path[searchEnd - 1] == L'.' && isPathSeparator(path[searchEnd - 2])) {
        searchEnd -= 2;
    }
    std::size_t end = lastSeparatorBefore(path, searchEnd);
    if (end == WideString::npos) {
        return WideString();
    }
    while (end > 0 && isPathSeparator(path[end - 1])) {
        --end;
    }
    return path.substr(0, end);
}

WideString dropSuffix(const WideString& path) {
    const std::size_t dot = path.rfind(L'.');
    const std::size_t separator = lastSeparatorBefore(path, path.size());
    // A dot in a directory name is not a suffix.
    if (dot == WideString::npos || (separator != WideString::npos && separator > dot)) {
        return path;
    }
    return path.substr(0, dot);
}

WideString appendToSearchList(const WideString& list, const WideString& element, wchar_t separator) {
    if (list.empty()) {
        return element;
    }
    if (list.back() == separator) {
        return list + element;
    }
    return list + separator + element;
}

long InputFile::readBytes(char* bytes, std::size_t size) {
    const std::size_t count = std::fread(bytes, 1, size, stream.get());
    if (count == 0 && std::ferror(stream.get())) {
        return -1;
    }
    return static_cast<long>(count);
}

bool InputFile::readLine(std::string& line) {
    bool cut = false;
    return readLine(line, line.max_size(), cut);
}

bool InputFile::readLine(std::string& line, std::size_t maxLength, bool& cut) {
    line.clear();
    cut = false;
    bool consumed = false;
    // Appends what fits of [from, to): a line never holds more than maxLength.
    const auto keep = [&](const char* from, const char* to) {
        const std::size_t room = maxLength - line.size();
        const auto count = static_cast<std::size_t>(to - from);
        if (count > room) {
            cut = true;
        }
        line.append(from, count > room ? room : count);
    };
    while (!readFailed) {
        if (next == end) {
            if (atEnd) {
                return consumed;
            }
            const long count = readBytes(buffer.data(), buffer.size());
            if (count < 0) {
                readFailed = true;
                return false;
            }
            next = 0;
            end = static_cast<std::size_t>(count);
            atEnd = count == 0;
            continue;
        }
        const char* const from = buffer.data() + next;
        const auto* const lineEnd = static_cast<const char*>(std::memchr(from, '\n', end - next));
        consumed = true;
        if (lineEnd) {
            keep(from, lineEnd);
            next += static_cast<std::size_t>(lineEnd - from) + 1;
            return true;
        }
        keep(from, buffer.data() + end);
        next = end;
    }
    return false;
}

} // namespace FileUtils
