#pragma once

// The stub runtime built for the Windows tests, and reading the files that
// stubs write. LaunchRecord.h reads the launch entry's record.

#include <filesystem>
#include <fstream>
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
