#pragma once

// The stub runtime built for the tests, and the record its launch entry
// writes: one "key=value" line per item, strings as hex of their bytes.

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "tstrings.h"

#ifdef VX_STUB_RUNTIME_DIR
// The stub's bin directory in Windows form.
inline WideString stubRuntimeBin() {
    WideString dir;
    for (const char* p = VX_STUB_RUNTIME_DIR "/bin"; *p; ++p) {
        dir += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    }
    return dir;
}
#endif

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::map<std::string, std::string> parseRecord(const std::string& text) {
    std::map<std::string, std::string> record;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) {
            record[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return record;
}

inline std::string hexOf(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 0xF];
    }
    return hex;
}
