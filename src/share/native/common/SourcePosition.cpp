#include "SourcePosition.h"

#include <cstring>

namespace SourcePositions {

namespace {

void replaceEvery(std::string& text, const char* search, const char* replacement) {
    const std::size_t searchLength = std::strlen(search);
    const std::size_t replacementLength = std::strlen(replacement);
    for (std::size_t pos = text.find(search); pos != std::string::npos;
         pos = text.find(search, pos + replacementLength)) {
        text.replace(pos, searchLength, replacement);
    }
}

bool endsWith(const std::string& text, std::size_t end, const char* suffix) {
    const std::size_t length = std::strlen(suffix);
    return end >= length && text.compare(end - length, length, suffix) == 0;
}

} // namespace

std::string baseName(const char* path) {
    if (!path) {
        return std::string();
    }
    const char* base = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\' || *p == '/') {
            base = p + 1;
        }
    }
    return base;
}

std::string qualifiedName(const char* signature) {
    if (!signature) {
        return std::string();
    }
    std::string text = signature;
    // GCC and clang spell the unnamed namespace differently; the launcher's
    // texts use one spelling for both.
    replaceEvery(text, "{anonymous}", "`anonymous-namespace'");
    replaceEvery(text, "(anonymous namespace)", "`anonymous-namespace'");

    const std::size_t with = text.find(" [with ");
    if (with != std::string::npos) {
        text.erase(with);
    }

    // The parameter list is the last balanced "(...)"; what follows it
    // (const, noexcept, ref-qualifiers) is dropped.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return text;
    }
    std::size_t open = close;
    int depth = 0;
    for (std::size_t i = close + 1; i-- > 0;) {
        if (text[i] == ')') {
            ++depth;
        } else if (text[i] == '(' && --depth == 0) {
            open = i;
            break;
        }
    }
    // A function that returns a function pointer reads
    // "R (* name(params) const)(params of the result)": the name is inside
    // the parenthesised declarator before that last group.
    if (open > 0 && text[open - 1] == ')') {
        int level = 0;
        for (std::size_t i = open; i-- > 0;) {
            if (text[i] == ')') {
                ++level;
            } else if (text[i] == '(' && --level == 0) {
                // "operator()()" is a name and its parameters.
                if (endsWith(text, i, "operator")) {
                    break;
                }
                std::string inner = text.substr(i + 1, open - 1 - (i + 1));
                inner.erase(0, inner.find_first_not_of("*& "));
                return qualifiedName(inner.c_str());
            }
        }
    }
    const std::size_t end = open;

    // The name starts after the last blank outside template brackets, but a
    // conversion operator ("operator T") keeps its blank.
    std::size_t start = 0;
    int angles = 0;
    for (std::size_t i = end; i-- > 0;) {
        const char ch = text[i];
        if (ch == '>') {
            ++angles;
        } else if (ch == '<' && angles > 0) {
            --angles;
        } else if (ch == ' ' && angles == 0) {
            if (endsWith(text, i, "operator")) {
                continue;
            }
            start = i + 1;
            break;
        }
    }
    return text.substr(start, end - start);
}

} // namespace SourcePositions

std::string SourcePosition::fileBaseName() const {
    return SourcePositions::baseName(file);
}

std::string SourcePosition::functionName() const {
    return SourcePositions::qualifiedName(function);
}
