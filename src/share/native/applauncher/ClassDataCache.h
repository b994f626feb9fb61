#pragma once

// The per-user class-data cache ("app.fast-start=true"): the pure part.
// Which scheme a runtime's feature version offers, the key that ties an
// archive to the image, the application's files, the runtime and the JVM
// options, the stamps that tell a complete archive from a stale or damaged
// one, and the choice of this launch's step with the JVM options it adds.
// Nothing here touches the file system; ClassDataSetup does.

#include <cstdint>
#include <string>

#include "tstrings.h"

namespace ClassDataCache {

// The feature version of a runtime from the text of its `release` file:
// JAVA_VERSION="17.0.2" gives 17, "1.8.0_402" gives 8. 0 when the line is
// missing or not a version.
int featureVersion(const std::string& releaseText);

enum class Scheme {
    None,          // before 13, or unknown
    StaticArchive, // 13 and later: a class list at a launch, a static archive made from it in the background
};
Scheme schemeFor(int featureVersion);
const char* schemeName(Scheme scheme);

// Whether one of the JVM options already decides about class-data sharing
// (-Xshare:*, archive files, ahead-of-time cache options): the packager's
// choice then wins.
bool choosesSharing(const WideStringList& options);

// 16 lower-case hex digits of the 64-bit FNV-1a hash of the text's UTF-8.
WideString hashText(const WideString& text);
// The value as 16 lower-case hex digits.
WideString hexText(std::uint64_t value);

// Size and modification time (in the OS's own units) of a file.
struct FileStamp {
    bool exists = false;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
};

// The text of a stamp file beside an artifact: the key it was made for and
// the artifact's size and time when it was moved into place. An artifact
// counts only while the key and both values still match; anything else
// (another key, a rewritten or truncated file, an unreadable stamp) is
// stale.
std::string stampText(const WideString& key, const FileStamp& artifact);
bool stampMatches(const std::string& stamp, const WideString& key, const FileStamp& artifact);

// What the cache directory holds for the current key.
struct State {
    bool archiveValid = false;    // the archive and its stamp match
    bool classListValid = false;  // a class list of this key is in place
    bool failed = false;          // a failure marker names the key
    bool creator = false;         // this process is the background creation
    bool creationRunning = false; // a background creation is under way
};

// The files of one image's cache, all in the per-user directory.
struct Paths {
    WideString archive;   // the static archive
    WideString classList; // the classes a launch loaded, for the archive
    WideString temporary; // this process's output before it is moved into place
};

enum class Step {
    Nothing,       // run as without the feature
    Use,           // run from the archive
    ListClasses,   // run and list the loaded classes; create the archive from them after the exit
    StartCreation, // run as without the feature; create the archive after the exit
    Create,        // this process is the background creation
};
const char* stepName(Step step);

struct Choice {
    Step step = Step::Nothing;
    WideStringList options; // JVM options to add, in order
    // The file this launch leaves behind for moving into place (ListClasses,
    // Create), and where it goes.
    WideString output;
    WideString target;
    // Whether the background creation starts at this launch's exit.
    bool startsCreation = false;
};

Choice choose(Scheme scheme, const State& state, const Paths& paths);

} // namespace ClassDataCache
