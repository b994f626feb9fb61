#include "ClassDataSetup.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <memory>

#include "ClassDataCache.h"
#include "ClassDataFiles.h"
#include "FileUtils.h"
#include "Log.h"
#include "Platform.h"
#include "SysInfo.h"

namespace ClassDataCache {

const wchar_t creatorVariable[] = L"VANTORIX_CLASS_DATA_CREATE";

namespace {

// Below this, a dump could fill the disk and the runtime would report it on
// the application's standard error: archives of a few thousand classes take
// tens of megabytes.
constexpr std::uint64_t requiredFreeBytes = 256ULL * 1024 * 1024;

// A creation marker older than this belongs to a creation that died.
constexpr int creationMinutes = 10;

// Small files only: stamps, markers, the runtime's release file.
constexpr std::size_t smallFileLimit = 64 * 1024;

WideString stampLine(const WideString& path) {
    const FileStamp found = ClassDataFiles::stamp(path);
    StringBuilder line;
    line << path << L' ';
    if (found.exists) {
        line << found.size << L' ' << found.modified;
    } else {
        line << L'-';
    }
    return line.text() + L"\n";
}

// A directory on the class path or module path counts with the entries in
// it: a module directory changes when one of its jars does.
WideString filesText(const WideString& path) {
    WideStringList names = ClassDataFiles::directoryEntries(path);
    if (names.empty()) {
        return L"file=" + stampLine(path);
    }
    std::sort(names.begin(), names.end());
    WideString text = L"directory=" + path + L"\n";
    for (const WideString& name : names) {
        if (name != L"." && name != L"..") {
            text += L"file=" + stampLine(FileUtils::joinPath(path, name));
        }
    }
    return text;
}

WideString keyText(const Request& request, const WideString& imageRoot, const std::string& release) {
    WideString text = L"image=" + imageRoot + L"\n";
    text += L"release=" + hashText(tstrings::utf8OrBytesToWide(release)) + L"\n";
    const WideString libraries = FileUtils::directoryOf(request.runtimeLibraryPath);
    for (const wchar_t* vm : {L"server/libjvm.so", L"server/jvm.dll", L"client/jvm.dll"}) {
        text += L"runtime=" + stampLine(FileUtils::joinPath(libraries, vm));
    }
    text += L"runtime=" + stampLine(request.runtimeLibraryPath);
    for (const WideString& file : request.applicationFiles) {
        text += filesText(file);
    }
    for (const WideString& option : request.jvmOptions) {
        text += L"option=" + option + L"\n";
    }
    return text;
}

// A name beside the path that nobody can foresee, with this process's id
// for the removal of what an ended process left: "<path>.<random>.<pid>.tmp".
WideString temporaryName(const WideString& path) {
    return path + L"." + ClassDataFiles::randomText() + L"." + std::to_wstring(ClassDataFiles::processId()) +
           L".tmp";
}

bool artifactValid(const WideString& path, const WideString& key) {
    std::string stamp;
    if (!ClassDataFiles::readSmallFile(path + L".stamp", smallFileLimit, stamp) ||
        !stampMatches(stamp, key, ClassDataFiles::stamp(path))) {
        return false;
    }
    // The runtime runs what the archive holds: only a file of this user's.
    const WideString untrusted = ClassDataFiles::untrustedFile(path);
    if (!untrusted.empty()) {
        logTrace("Class-data cache: not used, " << untrusted);
        return false;
    }
    return true;
}

// Writes a new file beside the path and moves it over the path: a reader
// sees the old content or the new, never a part.
bool replaceFile(const WideString& path, const std::string& bytes, WideString& why) {
    const WideString temporary = temporaryName(path);
    if (ClassDataFiles::writeNewFile(temporary, bytes, why) && ClassDataFiles::moveReplacing(temporary, path, why)) {
        return true;
    }
    ClassDataFiles::removeFile(temporary);
    return false;
}

void removeArtifact(const WideString& path) {
    ClassDataFiles::removeFile(path + L".stamp");
    ClassDataFiles::removeFile(path);
}

// The output of a process that died before moving it into place: a file
// "<slot>.<random>.<pid>.tmp" (or a stamp's "....<pid>.tmp") whose process
// is gone.
void removeOrphans(const WideString& directory, const WideString& slot) {
    for (const WideString& name : ClassDataFiles::directoryEntries(directory)) {
        if (!tstrings::hasPrefix(name, slot + L".") || !tstrings::hasSuffix(name, L".tmp")) {
            continue;
        }
        const WideString stem = name.substr(0, name.size() - 4);
        const WideString digits = stem.substr(stem.rfind(L'.') + 1);
        if (digits.empty() || digits.find_first_not_of(L"0123456789") != WideString::npos ||
            digits.size() > 9) {
            continue;
        }
        if (!ClassDataFiles::processAlive(static_cast<std::uint32_t>(std::stoul(digits)))) {
            logTrace("Class-data cache: removing \"" << name << "\", left by an ended process");
            ClassDataFiles::removeFile(FileUtils::joinPath(directory, name));
        }
    }
}

// What the process's exit does with this launch's output. Runs from the C
// runtime's exit handlers, after the runtime has written its archive there:
// no logging (the log sinks may be gone), file calls only.
struct Pending {
    WideString output;
    WideString target;
    WideString key;
    WideString failureMarker;
    WideString creationMarker; // the background creation's, removed at its end
    WideString consumed;       // the creation's configuration, no longer needed after it
};
Pending* pending = nullptr;

// Registered with more than one C runtime: the first call does the work.
void finishPending() {
    if (pending == nullptr) {
        return;
    }
    const Pending& work = *pending;
    pending = nullptr;
    WideString why;
    const FileStamp output = ClassDataFiles::stamp(work.output);
    if (output.exists && output.size > 0) {
        if (ClassDataFiles::moveReplacing(work.output, work.target, why)) {
            replaceFile(work.target + L".stamp",
                                        stampText(work.key, ClassDataFiles::stamp(work.target)), why);
            ClassDataFiles::removeFile(work.failureMarker);
            if (!work.consumed.empty()) {
                removeArtifact(work.consumed);
            }
        } else {
            ClassDataFiles::removeFile(work.output);
        }
    } else {
        // The runtime wrote nothing: remembered, so that the next launches
        // with this key do not try again.
        ClassDataFiles::removeFile(work.output);
        replaceFile(work.failureMarker, tstrings::wideToUtf8(work.key), why);
    }
    if (!work.creationMarker.empty()) {
        ClassDataFiles::removeFile(work.creationMarker);
    }
}

Plan planOrThrow(const Request& request) {
    Plan plan;
    WideString creatorKey;
    const bool creator = platform::environmentVariable(creatorVariable, creatorKey);
    if (creator) {
        SysInfo::unsetEnvVariable(creatorVariable);
    }
    if (!request.enabled) {
        return plan;
    }
    const WideString runtimeDirectory =
        FileUtils::directoryOf(FileUtils::directoryOf(request.runtimeLibraryPath));
    std::string release;
    ClassDataFiles::readSmallFile(FileUtils::joinPath(runtimeDirectory, L"release"), smallFileLimit, release);
    const int version = featureVersion(release);
    const Scheme scheme = schemeFor(version);
    logTrace("Class-data cache: Java runtime feature version " << version << " in \"" << runtimeDirectory
                                                               << "\": " << schemeName(scheme));
    if (scheme == Scheme::None) {
        return plan;
    }
    if (choosesSharing(request.jvmOptions)) {
        logTrace("Class-data cache: off, the JVM options already choose class-data sharing");
        return plan;
    }

    WideString why;
    const WideString directory =
        ClassDataFiles::cacheDirectory(FileUtils::dropSuffix(FileUtils::fileNameOf(request.executablePath)), why);
    if (directory.empty()) {
        logTrace("Class-data cache: off, no cache directory: " << why);
        return plan;
    }
    // The runtime would split its archive option there and lose all
    // sharing, its own base archive included.
    if (directory.find(request.listSeparator) != WideString::npos) {
        logTrace("Class-data cache: off, the cache directory \"" << directory << "\" contains '"
                                                                  << WideString(1, request.listSeparator)
                                                                  << "', which separates the runtime's archive paths");
        return plan;
    }
    // Another user who can write there could hand this user's runtime an
    // archive of their own.
    const WideString untrusted = ClassDataFiles::untrustedDirectory(directory);
    if (!untrusted.empty()) {
        logTrace("Class-data cache: off, " << untrusted);
        return plan;
    }

    const WideString imageRoot = FileUtils::directoryOf(request.executablePath);
    const WideString slot = hashText(L"image=" + imageRoot);
    const WideString key = hashText(keyText(request, imageRoot, release));
    const WideString base = FileUtils::joinPath(directory, slot);

    Paths paths;
    paths.archive = base + (scheme == Scheme::AheadOfTime ? L".aot" : L".jsa");
    paths.configuration = base + L".aotconf";
    paths.temporary = temporaryName(base);
    const WideString failureMarker = base + L".failed";
    const WideString creationMarker = base + L".creating";

    State state;
    state.archiveValid = artifactValid(paths.archive, key);
    state.configurationValid = scheme == Scheme::AheadOfTime && artifactValid(paths.configuration, key);
    std::string failedKey;
    state.failed = ClassDataFiles::readSmallFile(failureMarker, smallFileLimit, failedKey) &&
                   tstrings::utf8OrBytesToWide(failedKey) == key;
    state.creator = creator && creatorKey == key;
    const FileStamp creation = ClassDataFiles::stamp(creationMarker);
    state.creationRunning =
        creation.exists && ClassDataFiles::now() - creation.modified < creationMinutes * ClassDataFiles::oneMinute();

    logTrace("Class-data cache: key " << key << ", archive \"" << paths.archive << "\"");
    if (!state.archiveValid && ClassDataFiles::stamp(paths.archive).exists) {
        logTrace("Class-data cache: stale or damaged archive removed");
        removeArtifact(paths.archive);
    }
    if (state.failed) {
        logTrace("Class-data cache: failure marker \"" << failureMarker << "\" names this key");
    }

    Choice choice = choose(scheme, state, paths);
    logTrace("Class-data cache: " << stepName(choice.step));
    if (creator && choice.step != Step::Create) {
        // Started to create a cache that is no longer wanted (the key moved
        // on, or the configuration went): the application must not run here.
        logTrace("Class-data cache: nothing to create");
        std::exit(0);
    }

    if (!choice.output.empty()) {
        removeOrphans(directory, slot);
        const std::uint64_t free = ClassDataFiles::freeBytes(directory);
        if (free < requiredFreeBytes) {
            logTrace("Class-data cache: off, " << free << " bytes free in \"" << directory << "\"");
            return plan;
        }
        // The runtime cannot report a file it fails to write except on the
        // application's own output: try the directory first. The file stays,
        // made exclusively, for the runtime to write over.
        if (!ClassDataFiles::createNewFile(choice.output, why)) {
            logTrace("Class-data cache: off, " << why);
            return plan;
        }
        const bool creating = choice.step == Step::Create;
        auto work = std::make_shared<Pending>(Pending{choice.output, choice.target, key, failureMarker,
                                                      creating ? creationMarker : WideString(),
                                                      creating ? paths.configuration : WideString()});
        plan.beforeLaunch = [work]() {
            if (pending == nullptr) {
                // Kept to the process's end, when the exit handler reads it.
                pending = new Pending(*work);
                ClassDataFiles::atProcessExit(finishPending);
            }
        };
    } else if (choice.step == Step::StartCreation) {
        const WideString executable = request.executablePath;
        plan.beforeLaunch = [executable, key, creationMarker]() {
            try {
                WideString failed;
                // One creation at a time: the marker is made by whoever starts
                // one; a marker that outlived its creation goes first.
                const FileStamp marker = ClassDataFiles::stamp(creationMarker);
                if (marker.exists &&
                    ClassDataFiles::now() - marker.modified >= creationMinutes * ClassDataFiles::oneMinute()) {
                    ClassDataFiles::removeFile(creationMarker);
                }
                if (!ClassDataFiles::createNewFile(creationMarker, failed)) {
                    logTrace("Class-data cache: no background creation, " << failed);
                } else if (!ClassDataFiles::startDetached(executable, creatorVariable, key, failed)) {
                    ClassDataFiles::removeFile(creationMarker);
                    logTrace("Class-data cache: no background creation, " << failed);
                } else {
                    logTrace("Class-data cache: background creation started");
                }
            } catch (...) {
                // The launch goes on without the cache.
            }
        };
    }
    plan.options = std::move(choice.options);
    return plan;
}

} // namespace

Plan plan(const Request& request) {
    try {
        return planOrThrow(request);
    } catch (const std::exception& error) {
        logTrace("Class-data cache: off, " << error.what());
    } catch (...) {
        logTrace("Class-data cache: off, unknown error");
    }
    return Plan();
}

} // namespace ClassDataCache
