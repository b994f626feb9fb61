// vantorix-brand: the console entry point. Reads the options, brands the
// target, and reports a failure on standard error with exit code 1.

#include <cstdio>
#include <map>
#include <stdexcept>

#include "Branding.h"
#include "ErrorHandling.h"
#include "WinSys.h"

namespace {

const wchar_t usage[] =
    L"usage: vantorix-brand TARGET.exe [options]\n"
    L"Sets the icon and the version resource of a copied Vantorix launcher.\n"
    L"  --icon FILE.ico             the application icon\n"
    L"  --file-version A.B.C.D      the file version (number and text)\n"
    L"  --product-version A.B.C.D   the product version (number and text)\n"
    L"  --product-name TEXT\n"
    L"  --description TEXT          the file description\n"
    L"  --company TEXT\n"
    L"  --copyright TEXT\n"
    L"  --original-filename TEXT\n"
    L"Options not given leave the target's value as it is. Exit code 0 on\n"
    L"success; 1 on any failure, with the target unchanged.\n";

const std::map<WideString, WideString> stringOptions = {
    {L"--product-name", L"ProductName"},   {L"--description", L"FileDescription"},
    {L"--company", L"CompanyName"},        {L"--copyright", L"LegalCopyright"},
    {L"--original-filename", L"OriginalFilename"},
};

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

[[noreturn]] void usageError(const WideString& message) {
    throwWithPosition(std::runtime_error(tstrings::wideToUtf8(message)));
}

BrandRequest parseArguments(int argc, wchar_t** argv) {
    BrandRequest request;
    for (int i = 1; i < argc; ++i) {
        const WideString option = argv[i];
        if (option.size() < 2 || option.compare(0, 2, L"--") != 0) {
            if (!request.target.empty()) {
                usageError(L"More than one target: \"" + request.target + L"\" and \"" + option + L"\"");
            }
            request.target = option;
            continue;
        }
        if (i + 1 >= argc) {
            usageError(L"The option " + option + L" needs a value");
        }
        const WideString value = argv[++i];
        if (option == L"--icon") {
            request.iconFile = value;
        } else if (option == L"--file-version") {
            request.fileVersion = parseVersionNumber(value);
        } else if (option == L"--product-version") {
            request.productVersion = parseVersionNumber(value);
        } else if (const auto found = stringOptions.find(option); found != stringOptions.end()) {
            request.strings.emplace_back(found->second, value);
        } else {
            usageError(L"Unknown option " + option);
        }
    }
    if (request.target.empty()) {
        usageError(L"No target executable given");
    }
    return request;
}

} // namespace

int wmain(int argc, wchar_t** argv);

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || WideString(argv[1]) == L"--help") {
        writeError(usage);
        return argc < 2 ? 1 : 0;
    }
    try {
        brand(parseArguments(argc, argv));
        return 0;
    } catch (const VxErrorBase& error) {
        writeError(L"vantorix-brand: " + tstrings::utf8OrBytesToWide(error.plainMessage()) + L"\n");
    } catch (const std::exception& error) {
        writeError(L"vantorix-brand: " + tstrings::utf8OrBytesToWide(error.what()) + L"\n");
    }
    return 1;
}
