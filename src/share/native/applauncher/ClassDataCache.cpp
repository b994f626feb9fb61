#include "ClassDataCache.h"

#include <cctype>

#include "StringLineReader.h"

namespace ClassDataCache {

namespace {

// Unified logging writes warnings and errors to standard output unless told
// otherwise; a stale, damaged or missing archive is reported under these
// tags (and the class path check under class+path). Only this output is
// turned off: a packager's own -Xlog to a file or to stderr stays.
const wchar_t quietSharedArchive[] = L"-Xlog:cds*=off,class+path=off";

// The options with which a packager decides about sharing, compared as
// prefixes.
const wchar_t* const sharingOptions[] = {
    L"-Xshare:",
    L"-XX:SharedArchiveFile=",
    L"-XX:ArchiveClassesAtExit=",
    L"-XX:+AutoCreateSharedArchive",
    L"-XX:-AutoCreateSharedArchive",
    L"-XX:SharedClassListFile=",
    L"-XX:DumpLoadedClassList=",
    L"-XX:AOTCache=",
    L"-XX:AOTCacheOutput=",
    L"-XX:AOTConfiguration=",
    L"-XX:AOTMode=",
    L"-XX:+UseSharedSpaces",
    L"-XX:-UseSharedSpaces",
};

bool isDigit(char ch) {
    return std::isdigit(static_cast<unsigned char>(ch)) != 0;
}

} // namespace

int featureVersion(const std::string& releaseText) {
    StringLineReader lines(releaseText);
    std::string line;
    while (lines.next(line)) {
        const std::string name = "JAVA_VERSION=";
        if (line.compare(0, name.size(), name) != 0) {
            continue;
        }
        std::string value = line.substr(name.size());
        while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) {
            value.pop_back();
        }
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        // "1.8.0_402" is feature version 8; "17.0.2", "25", "26-ea" name it first.
        if (value.compare(0, 2, "1.") == 0) {
            value = value.substr(2);
        }
        std::size_t digits = 0;
        while (digits < value.size() && digits < 4 && isDigit(value[digits])) {
            ++digits;
        }
        if (digits == 0 || (digits < value.size() && isDigit(value[digits]))) {
            return 0;
        }
        return std::stoi(value.substr(0, digits));
    }
    return 0;
}

Scheme schemeFor(int version) {
    return version >= 13 ? Scheme::StaticArchive : Scheme::None;
}

const char* schemeName(Scheme scheme) {
    return scheme == Scheme::StaticArchive ? "static archive from a class list" : "none";
}

const char* stepName(Step step) {
    switch (step) {
    case Step::Use: return "hit: run from the archive";
    case Step::ListClasses: return "miss: list the loaded classes, create the archive after the exit";
    case Step::StartCreation: return "miss: create the archive after the exit";
    case Step::Create: return "create the archive";
    case Step::Nothing: break;
    }
    return "nothing";
}

bool choosesSharing(const WideStringList& options) {
    for (const WideString& option : options) {
        for (const wchar_t* prefix : sharingOptions) {
            if (tstrings::hasPrefix(option, prefix)) {
                return true;
            }
        }
    }
    return false;
}

WideString hashText(const WideString& text) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char byte : tstrings::wideToUtf8(text)) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 1099511628211ULL;
    }
    return hexText(hash);
}

WideString hexText(std::uint64_t value) {
    WideString hex(16, L'0');
    for (std::size_t i = hex.size(); i-- > 0; value >>= 4) {
        hex[i] = L"0123456789abcdef"[value & 0xf];
    }
    return hex;
}

std::string stampText(const WideString& key, const FileStamp& artifact) {
    return tstrings::wideToUtf8(key) + ' ' + std::to_string(artifact.size) + ' ' +
           std::to_string(artifact.modified) + '\n';
}

bool stampMatches(const std::string& stamp, const WideString& key, const FileStamp& artifact) {
    return artifact.exists && artifact.size > 0 && stamp == stampText(key, artifact);
}

Choice choose(Scheme scheme, const State& state, const Paths& paths) {
    Choice choice;
    if (scheme == Scheme::None || state.failed) {
        return choice;
    }
    if (state.creator) {
        if (state.classListValid && !state.archiveValid) {
            // The runtime writes the archive while it starts and ends there:
            // the application's main never runs in this process.
            choice.step = Step::Create;
            choice.output = paths.temporary;
            choice.target = paths.archive;
            choice.options = {L"-Xshare:dump", L"-XX:SharedClassListFile=" + paths.classList,
                              L"-XX:SharedArchiveFile=" + paths.temporary, quietSharedArchive};
        }
        return choice;
    }
    if (state.archiveValid) {
        choice.step = Step::Use;
        choice.options = {L"-XX:SharedArchiveFile=" + paths.archive, quietSharedArchive};
    } else if (state.classListValid) {
        // Created, or being created, in a process of its own: never in the
        // application's process or beside its start.
        if (!state.creationRunning) {
            choice.step = Step::StartCreation;
            choice.startsCreation = true;
        }
    } else {
        // Listing the loaded classes costs the launch about nothing; the
        // archive is made from the list after its exit.
        choice.step = Step::ListClasses;
        choice.output = paths.temporary;
        choice.target = paths.classList;
        choice.startsCreation = true;
        choice.options = {L"-XX:DumpLoadedClassList=" + paths.temporary};
    }
    return choice;
}

} // namespace ClassDataCache
