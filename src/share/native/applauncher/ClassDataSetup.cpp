#include "ClassDataSetup.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <map>
#include <memory>

#include "ClassDataCache.h"
#include "ClassDataFiles.h"
#include "DecimalText.h"
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
constexpr int creationMinutes = 30;

// The creation waits until no launch has seen it under way for this long:
// a start beside it (the application's second, third, ...) is then over,
// and the creation never slows one.
constexpr int quietSeconds = 5;

// A slot of an image that is gone is removed after this many days unused.
constexpr int unusedDays = 7;

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
    return path + L"." + ClassDataFiles::randomText() + L"." + decimalText(ClassDataFiles::processId()) +
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

// Entries of images that are gone. A slot records its image's executable
// in "<slot>.image", whose time a launch that runs from the slot's archive
// refreshes once a day: a slot whose executable is no longer there and that
// no launch has used for a week is removed, and so is a slot without that
// file (an older launcher's) whose files are all that old. Runs in the
// background creation only, at its low priority.
void removeUnusedSlots(const WideString& directory, const WideString& ownSlot) {
    const std::int64_t now = ClassDataFiles::now();
    const std::int64_t unusedFor = unusedDays * 24 * 60 * ClassDataFiles::oneMinute();
    const WideStringList names = ClassDataFiles::directoryEntries(directory);
    std::map<WideString, WideStringList> slots;
    for (const WideString& name : names) {
        const std::size_t dot = name.find(L'.');
        if (dot == 16 && name.find_first_not_of(L"0123456789abcdef") == 16) {
            slots[name.substr(0, dot)].push_back(name);
        }
    }
    for (const auto& [slot, files] : slots) {
        if (slot == ownSlot) {
            continue;
        }
        const WideString imageFile = FileUtils::joinPath(directory, slot + L".image");
        bool keep = false;
        std::string executable;
        if (ClassDataFiles::readSmallFile(imageFile, smallFileLimit, executable)) {
            const FileStamp used = ClassDataFiles::stamp(imageFile);
            keep = ClassDataFiles::stamp(tstrings::utf8OrBytesToWide(executable)).exists ||
                   now - used.modified < unusedFor;
        } else {
            for (const WideString& name : files) {
                const FileStamp file = ClassDataFiles::stamp(FileUtils::joinPath(directory, name));
                keep = keep || !file.exists || now - file.modified < unusedFor;
            }
        }
        if (keep) {
            continue;
        }
        logTrace("Class-data cache: removing the unused entries of slot " << slot);
        for (const WideString& name : files) {
            ClassDataFiles::removeFile(FileUtils::joinPath(directory, name));
        }
    }
}

// What the process's exit does with this launch's output. Runs from the C
// runtime's exit handlers, after the runtime has written its file there:
// no logging (the log sinks may be gone), file calls only.
struct Pending {
    WideString output;         // empty: nothing to move into place
    WideString target;
    WideString key;
    WideString failureMarker;
    WideString creationMarker;
    bool creator = false;      // the marker is this process's, removed at its end
    // Set when the background creation starts after the exit.
    WideString executable;
};
Pending* pending = nullptr;

// Until the marker has not been touched for quietSeconds (each launch that
// sees the creation under way touches it), at most creationMinutes / 2.
void waitForQuiet(const WideString& marker) {
    const std::int64_t second = ClassDataFiles::oneMinute() / 60;
    const std::int64_t deadline = ClassDataFiles::now() + creationMinutes * ClassDataFiles::oneMinute() / 2;
    for (;;) {
        const std::int64_t now = ClassDataFiles::now();
        const std::int64_t quietSince = ClassDataFiles::stamp(marker).modified;
        if (now >= deadline || now - quietSince >= quietSeconds * second) {
            return;
        }
        const std::int64_t left = quietSeconds * second - (now - quietSince);
        ClassDataFiles::sleepMilliseconds(static_cast<unsigned>(left / (second / 1000) + 10));
    }
}

bool creationUnderWay(const WideString& marker) {
    const FileStamp found = ClassDataFiles::stamp(marker);
    if (!found.exists) {
        return false;
    }
    const std::int64_t age = ClassDataFiles::now() - found.modified;
    if (age >= creationMinutes * ClassDataFiles::oneMinute()) {
        return false;
    }
    // The creation writes its process id there; until it has, the process
    // that started it had the marker made a moment ago.
    std::string text;
    if (ClassDataFiles::readSmallFile(marker, smallFileLimit, text) && !text.empty() &&
        text.find_first_not_of("0123456789") == std::string::npos && text.size() <= 9) {
        return ClassDataFiles::processAlive(static_cast<std::uint32_t>(std::stoul(text)));
    }
    return age < ClassDataFiles::oneMinute();
}

// Starts the background creation unless one is under way: at most one per
// application and user, whatever the image. Whoever makes the marker
// (exclusively) starts it; a marker that outlived its creation goes first.
void startCreation(const Pending& work) {
    WideString why;
    if (!ClassDataFiles::createNewFile(work.creationMarker, why)) {
        if (creationUnderWay(work.creationMarker)) {
            return;
        }
        ClassDataFiles::removeFile(work.creationMarker);
        if (!ClassDataFiles::createNewFile(work.creationMarker, why)) {
            return;
        }
    }
    if (!ClassDataFiles::startDetached(work.executable, creatorVariable, work.key, why)) {
        ClassDataFiles::removeFile(work.creationMarker);
    }
}

// Registered with more than one C runtime: the first call does the work.
void finishPending() {
    if (pending == nullptr) {
        return;
    }
    const Pending& work = *pending;
    pending = nullptr;
    WideString why;
    bool made = work.output.empty();
    if (!work.output.empty()) {
        const FileStamp output = ClassDataFiles::stamp(work.output);
        if (output.exists && output.size > 0 && ClassDataFiles::moveReplacing(work.output, work.target, why)) {
            made = replaceFile(work.target + L".stamp", stampText(work.key, ClassDataFiles::stamp(work.target)), why);
        } else {
            ClassDataFiles::removeFile(work.output);
        }
        if (!made) {
            // Remembered, so that the next launches with this key do not
            // try again.
            replaceFile(work.failureMarker, tstrings::wideToUtf8(work.key), why);
        }
    }
    if (work.creator) {
        ClassDataFiles::removeFile(work.creationMarker);
    } else if (made && !work.executable.empty()) {
        startCreation(work);
    }
}

Plan planOrThrow(const Request& request) {
    Plan plan;
    WideString creatorKey;
    const bool creator = platform::environmentVariable(creatorVariable, creatorKey);
    if (creator) {
        SysInfo::unsetEnvVariable(creatorVariable);
        // Below everything the user runs, processor and disk alike.
        ClassDataFiles::lowerPriority();
    }
    if (!request.enabled) {
        if (creator) {
            std::exit(0);
        }
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
    paths.archive = base + L".jsa";
    paths.classList = base + L".classlist";
    paths.temporary = temporaryName(base);
    const WideString failureMarker = base + L".failed";
    const WideString imageFile = base + L".image";
    const WideString creationMarker = FileUtils::joinPath(directory, L"archive.creating");

    State state;
    state.archiveValid = artifactValid(paths.archive, key);
    state.classListValid = artifactValid(paths.classList, key);
    std::string failedKey;
    state.failed = ClassDataFiles::readSmallFile(failureMarker, smallFileLimit, failedKey) &&
                   tstrings::utf8OrBytesToWide(failedKey) == key;
    state.creator = creator && creatorKey == key;
    state.creationRunning = creationUnderWay(creationMarker);
    if (state.creationRunning && !creator) {
        // Tells the creation that a launch is starting: it waits for it.
        ClassDataFiles::touch(creationMarker);
    }

    logTrace("Class-data cache: key " << key << ", archive \"" << paths.archive << "\"");
    for (const WideString& artifact : {paths.archive, paths.classList}) {
        if (!(artifact == paths.archive ? state.archiveValid : state.classListValid) &&
            ClassDataFiles::stamp(artifact).exists) {
            logTrace("Class-data cache: stale or damaged \"" << artifact << "\" removed");
            removeArtifact(artifact);
        }
    }
    if (state.failed) {
        logTrace("Class-data cache: failure marker \"" << failureMarker << "\" names this key");
    }

    Choice choice = choose(scheme, state, paths);
    logTrace("Class-data cache: " << stepName(choice.step));
    if (creator && choice.step != Step::Create) {
        // Started to create an archive that is no longer wanted (the key
        // moved on, the list went, another creation made it): the
        // application must not run here.
        logTrace("Class-data cache: nothing to create");
        // The process that started this one made the marker for it.
        ClassDataFiles::removeFile(creationMarker);
        std::exit(0);
    }

    if (choice.step == Step::Use) {
        // The slot's last use, for the removal of unused slots; at most
        // once a day, so that launches do not write every time.
        const FileStamp used = ClassDataFiles::stamp(imageFile);
        if (!used.exists || ClassDataFiles::now() - used.modified > 24 * 60 * ClassDataFiles::oneMinute()) {
            replaceFile(imageFile, tstrings::wideToUtf8(request.executablePath), why);
        }
    }
    if (choice.step == Step::Create) {
        // The creation's own process id, for the next launches to see that it
        // is alive.
        replaceFile(creationMarker, std::to_string(ClassDataFiles::processId()), why);
        removeUnusedSlots(directory, slot);
        waitForQuiet(creationMarker);
    }

    auto work = std::make_shared<Pending>();
    work->key = key;
    work->failureMarker = failureMarker;
    work->creationMarker = creationMarker;
    work->creator = choice.step == Step::Create;
    if (choice.startsCreation) {
        work->executable = request.executablePath;
    }
    // Off for this launch; a creation has nothing left to do then, and the
    // application must not run in its process.
    const auto off = [&]() {
        if (work->creator) {
            ClassDataFiles::removeFile(creationMarker);
            std::exit(0);
        }
        return plan;
    };
    if (!choice.output.empty()) {
        removeOrphans(directory, slot);
        const std::uint64_t free = ClassDataFiles::freeBytes(directory);
        if (free < requiredFreeBytes) {
            logTrace("Class-data cache: off, " << free << " bytes free in \"" << directory << "\"");
            return off();
        }
        // The runtime cannot report a file it fails to write except on the
        // application's own output: try the directory first. The file stays,
        // made exclusively, for the runtime to write over.
        if (!ClassDataFiles::createNewFile(choice.output, why)) {
            logTrace("Class-data cache: off, " << why);
            return off();
        }
        work->output = choice.output;
        work->target = choice.target;
        if (choice.step == Step::ListClasses) {
            replaceFile(imageFile, tstrings::wideToUtf8(request.executablePath), why);
        }
    }
    if (!work->output.empty() || !work->executable.empty()) {
        plan.beforeLaunch = [work]() {
            if (pending == nullptr) {
                // Kept to the process's end, when the exit handler reads it.
                pending = new Pending(*work);
                ClassDataFiles::atProcessExit(finishPending);
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
