#pragma once

// What the class-data cache asks of the OS: the per-user cache directory,
// file stamps, small files, exclusive creation, atomic replacement, process
// liveness, free space and a detached background process. No function
// throws; a failure is a false, empty or missing result, and `why`, where
// there is one, says what failed.

#include <cstdint>
#include <string>

#include "ClassDataCache.h"
#include "tstrings.h"

namespace ClassDataFiles {

// The application's per-user cache directory, made (with its parents) when
// missing: %LOCALAPPDATA%\<application>\ClassData on Windows, $XDG_CACHE_HOME/<application>
// (by default ~/.cache/<application>) elsewhere. Empty when there is none.
WideString cacheDirectory(const WideString& applicationName, WideString& why);

ClassDataCache::FileStamp stamp(const WideString& path);
// The current time in the units of FileStamp::modified, and one minute in them.
std::int64_t now();
std::int64_t oneMinute();

// Names (not paths) of the entries of a directory; empty on failure.
WideStringList directoryEntries(const WideString& directory);

// The whole file, when it is at most `limit` bytes.
bool readSmallFile(const WideString& path, std::size_t limit, std::string& bytes);
// Creates the file or empties it, and writes the bytes.
bool writeFile(const WideString& path, const std::string& bytes, WideString& why);
// Creates an empty file that must not exist yet.
bool createNewFile(const WideString& path, WideString& why);
// Moves a file over another in one step: a reader sees the old file or the new one.
bool moveReplacing(const WideString& from, const WideString& to, WideString& why);
void removeFile(const WideString& path);

// The bytes a user may still write into the directory's file system; none
// when that cannot be told.
std::uint64_t freeBytes(const WideString& directory);

std::uint32_t processId();
bool processAlive(std::uint32_t id);

// Has the function run when the process ends through the C runtime's exit,
// whichever C runtime in the process calls it (the runtime's own, for
// System.exit, or this program's, when main returns).
void atProcessExit(void (*function)());

// Starts the executable without arguments, with one more environment
// variable, at low priority, with no standard streams and in no relation
// to this process's end.
bool startDetached(const WideString& executable, const WideString& variable, const WideString& value,
                   WideString& why);

} // namespace ClassDataFiles
