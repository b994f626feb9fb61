// Lines of an in-memory text, as std::getline splits them.

#include "StringLineReader.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    StringLineReader reader(text);
    std::vector<std::string> lines;
    for (std::string line; reader.next(line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(StringLineReader, SplitsAsGetlineDoes) {
    using Lines = std::vector<std::string>;
    const struct {
        const char* text;
        Lines expected;
    } cases[] = {
        {"", {}},
        {"\n", {""}},
        {"one", {"one"}},
        {"one\n", {"one"}},
        {"one\ntwo", {"one", "two"}},
        {"one\n\ntwo\n", {"one", "", "two"}},
        {"one\r\ntwo\r\n", {"one\r", "two\r"}},
        {"\n\n", {"", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(linesOf(c.text), c.expected);
    }
}

TEST(StringLineReader, KeepsEmbeddedNulBytes) {
    const std::string text("a\0b\nc", 5);
    EXPECT_EQ(linesOf(text), (std::vector<std::string>{std::string("a\0b", 3), "c"}));
}

} // namespace
