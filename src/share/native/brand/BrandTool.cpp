#include "BrandTool.h"

#include <map>
#include <stdexcept>

#include "ErrorHandling.h"
#include "Manifest.h"

const wchar_t brandUsage[] =
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
    L"  --execution-level LEVEL     asInvoker, highestAvailable or requireAdministrator\n"
    L"  --strip-signature           remove the signature of a signed target and brand it\n"
    L"Options not given leave the target's value as it is. Exit code 0 on\n"
    L"success; 1 on any failure, with the target unchanged.\n";

namespace {

const std::map<WideString, WideString> stringOptions = {
    {L"--product-name", L"ProductName"},   {L"--description", L"FileDescription"},
    {L"--company", L"CompanyName"},        {L"--copyright", L"LegalCopyright"},
    {L"--original-filename", L"OriginalFilename"},
};

[[noreturn]] void usageError(const WideString& message) {
    throwWithPosition(std::runtime_error(tstrings::wideToUtf8(message)));
}

} // namespace

BrandRequest parseBrandArguments(const WideStringList& arguments) {
    BrandRequest request;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const WideString& option = arguments[i];
        if (option.size() < 2 || option.compare(0, 2, L"--") != 0) {
            if (!request.target.empty()) {
                usageError(L"More than one target: \"" + request.target + L"\" and \"" + option + L"\"");
            }
            request.target = option;
            continue;
        }
        if (option == L"--strip-signature") {
            request.stripSignature = true;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            usageError(L"The option " + option + L" needs a value");
        }
        const WideString& value = arguments[++i];
        if (option == L"--icon") {
            request.iconFile = value;
        } else if (option == L"--file-version") {
            request.fileVersion = parseVersionNumber(value);
        } else if (option == L"--product-version") {
            request.productVersion = parseVersionNumber(value);
        } else if (option == L"--execution-level") {
            const std::string level = tstrings::wideToUtf8(value);
            if (!Manifest::isExecutionLevel(level)) {
                usageError(L"Invalid execution level \"" + value +
                           L"\": expected asInvoker, highestAvailable or requireAdministrator");
            }
            request.executionLevel = level;
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

int runBrandTool(const WideStringList& arguments, void (*writeError)(const WideString& text)) {
    if (arguments.empty() || arguments[0] == L"--help") {
        writeError(brandUsage);
        return arguments.empty() ? 1 : 0;
    }
    try {
        brand(parseBrandArguments(arguments));
        return 0;
    } catch (const VxErrorBase& error) {
        writeError(L"vantorix-brand: " + tstrings::utf8OrBytesToWide(error.plainMessage()) + L"\n");
    } catch (const std::exception& error) {
        writeError(L"vantorix-brand: " + tstrings::utf8OrBytesToWide(error.what()) + L"\n");
    }
    return 1;
}
