// vantorix-brand: the entry point of the native tool. The command line and
// the branding are the same on every OS (BrandTool.h); this half writes.

#include <cstdio>

#include "BrandTool.h"

namespace {

void writeError(const WideString& text) {
    const std::string bytes = tstrings::wideToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

} // namespace

int main(int argc, char** argv) {
    WideStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(tstrings::utf8OrBytesToWide(argv[i]));
    }
    return runBrandTool(arguments, writeError);
}
