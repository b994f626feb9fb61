// Feeds arbitrary bytes to the config file parser (through a file, as the
// launcher reads it) and substitutes macros on what it yields. Only the
// errors the parser and the substitution are meant to throw may appear.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <unistd.h>

#include "CfgFile.h"
#include "ErrorHandling.h"

namespace {

const std::string& scratchFile() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        std::string name = std::string(dir && *dir ? dir : "/tmp") + "/vx-cfgfile-fuzz-" +
                           std::to_string(getpid()) + ".cfg";
        std::atexit([] { std::remove(scratchFile().c_str()); });
        return name;
    }();
    return path;
}

void writeScratch(const std::uint8_t* data, std::size_t size) {
    FILE* file = std::fopen(scratchFile().c_str(), "wb");
    if (!file) {
        std::abort();
    }
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) {
        std::abort();
    }
}

const SectionId allSections[] = {SectionId::Application, SectionId::JavaOptions,
                                 SectionId::AppCDSJavaOptions,
                                 SectionId::AppCDSGenerateCacheJavaOptions,
                                 SectionId::ArgOptions};

// What the parser promises: no section without properties, no property
// without values.
void checkParsed(const CfgFile& cfg) {
    for (const SectionId& section : allSections) {
        for (const auto& entry : cfg.sectionProperties(section)) {
            if (entry.second.empty()) {
                std::abort();
            }
        }
    }
}

// With replacements that name no macro, nothing of a macro name survives.
void checkNoMacroLeft(const CfgFile& cfg, const MacroTable& macros) {
    for (const SectionId& section : allSections) {
        for (const auto& entry : cfg.sectionProperties(section)) {
            for (const WideString& value : entry.second) {
                for (const auto& macro : macros) {
                    if (value.find(macro.first) != WideString::npos) {
                        std::abort();
                    }
                }
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The launcher's own table, one whose directories end in '$' (a name
    // can form where a replacement meets the text after it), and one with
    // replacements that lead back to themselves.
    static const MacroTable launcherMacros = {
        {L"$APPDIR", L"C:\\Program Files\\Demo\\app"},
        {L"$BINDIR", L"C:\\Program Files\\Demo"},
        {L"$ROOTDIR", L"C:\\Program Files\\Demo"}};
    static const MacroTable dollarEnding = {
        {L"$APPDIR", L"\\\\server\\C$\\app"}, {L"$BINDIR", L"\\\\server\\C$"},
        {L"$ROOTDIR", L"\\\\server\\C$"}};
    static const MacroTable cyclic = {
        {L"$APPDIR", L"C:\\$ROOTDIR\\app"}, {L"$BINDIR", L"C:\\$BINDIR"},
        {L"$ROOTDIR", L"C:\\$APPDIR"}};
    static const WideString path = tstrings::utf8ToWide(scratchFile());

    writeScratch(data, size);
    try {
        const CfgFile cfg = CfgFile::load(path);
        checkParsed(cfg);
        checkNoMacroLeft(cfg.substituteMacros(launcherMacros), launcherMacros);
        for (const MacroTable* macros : {&dollarEnding, &cyclic}) {
            try {
                cfg.substituteMacros(*macros);
            } catch (const VxError<std::runtime_error>&) {
                // A value that would never settle: reported, not looped on.
            }
        }
    } catch (const VxError<std::runtime_error>&) {
        // A malformed header or a line that is not UTF-8: the parse error.
    }
    return 0;
}
