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
const wchar_t quietAheadOfTime[] = L"-Xlog:aot*=off,cds*=off,class+path=off";

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
    if (version >= 25) {
        return Scheme::AheadOfTime;
    }
    if (version >= 19) {
        return Scheme::AutoCreate;
    }
    if (version >= 13) {
        return Scheme::DumpAtExit;
    }
    return Scheme::None;
}

const char* schemeName(Scheme scheme) {
    switch (scheme) {
    case Scheme::DumpAtExit: return "dynamic archive written at exit";
    case Scheme::AutoCreate: return "dynamic archive created automatically";
    case Scheme::AheadOfTime: return "ahead-of-time cache";
    case Scheme::None: break;
    }
    return "none";
}

const char* stepName(Step step) {
    switch (step) {
    case Step::Use: return "hit: run from the archive";
    case Step::Dump: return "miss: write an archive at exit";
    case Step::Record: return "miss: record a configuration at exit";
    case Step::StartCreation: return "miss: create the cache in the background";
    case Step::Create: return "create the cache";
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
    WideStringList& options = choice.options;
    switch (scheme) {
    case Scheme::DumpAtExit:
    case Scheme::AutoCreate:
        if (state.archiveValid) {
            choice.step = Step::Use;
            options = {L"-XX:SharedArchiveFile=" + paths.archive};
        } else {
            // The runtime writes the archive at exit, in this process, into
            // a file of this process's own; it is moved into place after.
            choice.step = Step::Dump;
            choice.output = paths.temporary;
            choice.target = paths.archive;
            if (scheme == Scheme::AutoCreate) {
                options = {L"-XX:+AutoCreateSharedArchive", L"-XX:SharedArchiveFile=" + paths.temporary};
            } else {
                options = {L"-XX:ArchiveClassesAtExit=" + paths.temporary};
            }
        }
        options.push_back(quietSharedArchive);
        return choice;
    case Scheme::AheadOfTime:
        if (state.creator) {
            if (!state.configurationValid) {
                return choice;
            }
            choice.step = Step::Create;
            choice.output = paths.temporary;
            choice.target = paths.archive;
            options = {L"-XX:AOTMode=create", L"-XX:AOTConfiguration=" + paths.configuration,
                       L"-XX:AOTCache=" + paths.temporary};
        } else if (state.archiveValid) {
            choice.step = Step::Use;
            options = {L"-XX:AOTCache=" + paths.archive};
        } else if (state.configurationValid) {
            // Making the cache takes a second runtime for a second or more:
            // never in the application's own process or at its exit.
            if (!state.creationRunning) {
                choice.step = Step::StartCreation;
            }
            return choice;
        } else {
            choice.step = Step::Record;
            choice.output = paths.temporary;
            choice.target = paths.configuration;
            // The runtime announces the recorded configuration on standard
            // output through its own console stream, which only this
            // diagnostic switch silences; it is set for the recording run
            // alone.
            options = {L"-XX:AOTMode=record", L"-XX:AOTConfiguration=" + paths.temporary,
                       L"-XX:+UnlockDiagnosticVMOptions", L"-XX:-DisplayVMOutput"};
        }
        options.push_back(quietAheadOfTime);
        return choice;
    case Scheme::None:
        break;
    }
    return choice;
}

} // namespace ClassDataCache
