// vantorix-brand.exe: the console entry point. The command line and the
// branding are the same on every OS (BrandTool.h); this half writes.

#include <cstdio>

#include "BrandTool.h"
#include "WinSys.h"

namespace {

// To the console in its own encoding when standard error is one, as UTF-8
// otherwise (a file or a pipe).
void writeError(const WideString& text) {
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    DWORD written = 0;
    if (error != nullptr && error != INVALID_HANDLE_VALUE && GetConsoleMode(error, &mode)) {
        WriteConsoleW(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else {
        const std::string bytes = tstrings::wideToUtf8(text);
        std::fwrite(bytes.data(), 1, bytes.size(), stderr);
        std::fflush(stderr);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv);

int wmain(int argc, wchar_t** argv) {
    return runBrandTool(WideStringList(argv + (argc > 0 ? 1 : 0), argv + argc), writeError);
}
