// Loads one config file and substitutes the launcher's macros on it, then
// says how much it found and how long each step took. Used on very large
// files to show that the parser neither crashes nor slows down without
// bound.

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include "CfgFile.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void printSizes(const char* what, const CfgFile& cfg) {
    const SectionId sections[] = {SectionId::Application, SectionId::JavaOptions,
                                  SectionId::AppCDSJavaOptions,
                                  SectionId::AppCDSGenerateCacheJavaOptions,
                                  SectionId::ArgOptions};
    unsigned long long values = 0;
    unsigned long long units = 0;
    for (const SectionId& section : sections) {
        for (const auto& entry : cfg.sectionProperties(section)) {
            for (const WideString& value : entry.second) {
                ++values;
                units += value.size();
            }
        }
    }
    std::printf("%s: %llu values, %llu code units\n", what, values, units);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <config file>\n", argv[0]);
        return 2;
    }
    try {
        auto start = std::chrono::steady_clock::now();
        const CfgFile cfg = CfgFile::load(tstrings::utf8ToWide(argv[1]));
        std::printf("load: %.2f s\n", secondsSince(start));
        printSizes("loaded", cfg);

        start = std::chrono::steady_clock::now();
        const CfgFile substituted = cfg.substituteMacros({{L"$APPDIR", L"C:\\Demo\\app"},
                                                          {L"$BINDIR", L"C:\\Demo"},
                                                          {L"$ROOTDIR", L"C:\\Demo"}});
        std::printf("substituteMacros: %.2f s\n", secondsSince(start));
        printSizes("substituted", substituted);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
