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

// Why the directory must not hold this user's cache, or empty when it may:
// it must be a directory itself (not a link to one), belong to the user who
// runs the launcher, and nobody else may write it.
WideString untrustedDirectory(const WideString& path);
// The same for a file in it that is handed to the runtime: a file itself,
// the user's, and nobody else may write it.
WideString untrustedFile(const WideString& path);

// 16 hex digits from the system's random source, for names that nobody can
// foresee (and plant a link at).
WideString randomText();

ClassDataCache::FileStamp stamp(const WideString& path);
// The current time in the units of FileStamp::modified, and one minute in them.
std::int64_t now();
std::int64_t oneMinute();

// Names (not paths) of the entries of a directory; empty on failure.
WideStringList directoryEntries(const WideString& directory);

// The whole file, when it is at most `limit` bytes.
bool readSmallFile(const WideString& path, std::size_t limit, std::string& bytes);
// Creates the file, which must not exist yet (not even as a link), and
// writes the bytes.
bool writeNewFile(const WideString& path, const std::string& bytes, WideString& why);
// Creates an empty file that must not exist yet (not even as a link).
bool createNewFile(const WideString& path, WideString& why);
// Moves a file over another in one step: a reader sees the old file or the new one.
bool moveReplacing(const WideString& from, const WideString& to, WideString& why);
void removeFile(const WideString& path);
// Sets the file's modification time to now (not through a link).
void touch(const WideString& path);
void sleepMilliseconds(unsigned milliseconds);

// The bytes a user may still write into the directory's file system; none
// when that cannot be told.
std::uint64_t freeBytes(const WideString& directory);

std::uint32_t processId();
// Puts this process (and the threads it starts from now on) below
// everything else the user runs: the lowest processor priority and idle
// disk priority where the system has them.
void lowerPriority();
bool processAlive(std::uint32_t id);

// Has the function run when the process ends through the C runtime's exit,
// whichever C runtime in the process calls it (the runtime's own, for
// System.exit, or this program's, when main returns).
void atProcessExit(void (*function)());

// Starts the executable without arguments, with one more environment
// variable, at low priority, with no standard streams and in no relation
// to this process's end. Safe in an exit handler of a process with other
// threads.
bool startDetached(const WideString& executable, const WideString& variable, const WideString& value,
                   WideString& why);

} // namespace ClassDataFiles
