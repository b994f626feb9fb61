#pragma once

// The record that a stub runtime's launch entry keeps of each call, written
// and read here so that the Windows and the POSIX stubs share one format and
// the tests one reader.
//
// One "key=value" line per item; each call's record starts with its "argc="
// line and is appended to the file. Strings are lower-case hex of their
// bytes (empty for ""), so that any byte survives; a null pointer is "null".
//   argc=<decimal>
//   argv[0]=<hex> ... argv[argc-1]=<hex>
//   argv[<argc>]=null|<hex>            the slot after the last argument
//   arg3=<decimal>                     jargc
//   arg4=null|non-null                 jargv
//   arg5=<decimal>                     appclassc
//   arg6=null|non-null                 appclassv
//   arg7=..arg10=null|<hex>            fullversion, dotversion, pname, lname
//   arg11=..arg14=<decimal>            javaargs, cpwildcard, javaw, ergo
// A stub may add lines of its own after these (the Windows stub records the
// process it runs in).
//
// Standard C++ only: the stubs include it too.

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace launchrecord {

inline std::string hexOf(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 0xF];
    }
    return hex;
}

inline std::string hexOrNull(const char* text) {
    return text ? hexOf(text) : "null";
}

inline void addLine(std::string& record, const std::string& key, const std::string& value) {
    record += key;
    record += '=';
    record += value;
    record += '\n';
}

// The lines of one call of the launch entry, in the order above.
inline std::string ofCall(int argc, char** argv, int jargc, const char** jargv, int appclassc,
                          const char** appclassv, const char* fullversion, const char* dotversion,
                          const char* pname, const char* lname, int javaargs, int cpwildcard,
                          int javaw, int ergo) {
    std::string record;
    addLine(record, "argc", std::to_string(argc));
    for (int i = 0; argv && i <= argc; ++i) {
        // The launcher's data block packs the vector without alignment, so
        // its slots are read bytewise.
        const char* argument = nullptr;
        std::memcpy(&argument, reinterpret_cast<const char*>(argv) + static_cast<std::size_t>(i) * sizeof(char*),
                    sizeof(char*));
        addLine(record, "argv[" + std::to_string(i) + "]", hexOrNull(argument));
    }
    addLine(record, "arg3", std::to_string(jargc));
    addLine(record, "arg4", jargv ? "non-null" : "null");
    addLine(record, "arg5", std::to_string(appclassc));
    addLine(record, "arg6", appclassv ? "non-null" : "null");
    addLine(record, "arg7", hexOrNull(fullversion));
    addLine(record, "arg8", hexOrNull(dotversion));
    addLine(record, "arg9", hexOrNull(pname));
    addLine(record, "arg10", hexOrNull(lname));
    addLine(record, "arg11", std::to_string(javaargs));
    addLine(record, "arg12", std::to_string(cpwildcard));
    addLine(record, "arg13", std::to_string(javaw));
    addLine(record, "arg14", std::to_string(ergo));
    return record;
}

// The bytes that hex stands for; what is not hex ends the text.
inline std::string bytesOf(const std::string& hex) {
    const auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int high = digit(hex[i]);
        const int low = digit(hex[i + 1]);
        if (high < 0 || low < 0) {
            break;
        }
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

// One call as the record gives it: every line by its key.
struct Call {
    std::map<std::string, std::string> fields;

    // The value of the key; "(absent)" when the call has no such line.
    std::string at(const std::string& key) const {
        const auto found = fields.find(key);
        return found == fields.end() ? "(absent)" : found->second;
    }

    // argv[0] to argv[argc - 1], as bytes.
    std::vector<std::string> arguments() const {
        std::vector<std::string> list;
        const int argc = std::atoi(at("argc").c_str());
        for (int i = 0; i < argc; ++i) {
            list.push_back(bytesOf(at("argv[" + std::to_string(i) + "]")));
        }
        return list;
    }
};

// The calls in a record file's text, in their order.
inline std::vector<Call> read(const std::string& text) {
    std::vector<Call> calls;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, equals);
        if (key == "argc" || calls.empty()) {
            calls.emplace_back();
        }
        calls.back().fields[key] = line.substr(equals + 1);
    }
    return calls;
}

// What every launch passes besides the argument vector: no JVM or class
// arguments of its own, no versions, "java" as program and launcher name,
// and no flags.
inline std::map<std::string, std::string> launcherConstants() {
    return {{"arg3", "0"},  {"arg4", "null"}, {"arg5", "0"},  {"arg6", "null"},
            {"arg7", ""},   {"arg8", ""},     {"arg9", hexOf("java")}, {"arg10", hexOf("java")},
            {"arg11", "0"}, {"arg12", "0"},   {"arg13", "0"}, {"arg14", "0"}};
}

} // namespace launchrecord
