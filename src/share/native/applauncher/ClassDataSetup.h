#pragma once

// Sets up the class-data cache of one launch: reads what the cache holds
// for the image, chooses the step, and gives the JVM options to add and the
// work to do right before the runtime starts.

#include <functional>

#include "tstrings.h"

namespace ClassDataCache {

struct Request {
    bool enabled = false;            // "app.fast-start=true"
    WideString executablePath;       // the launcher; names the cache directory
    WideString runtimeLibraryPath;   // the runtime's launcher library
    WideStringList jvmOptions;       // the options before the class-data ones
    WideStringList applicationFiles; // class path, module path, main jar
    wchar_t listSeparator = L':';    // of the runtime's path lists (';' on Windows)
};

struct Plan {
    WideStringList options;
    // Run right before the runtime starts (and only then: a launch that
    // restarts first never runs it). Does not throw.
    std::function<void()> beforeLaunch;
};

// Never throws and never fails the launch: whatever goes wrong leaves the
// plan empty, and the VANTORIX_DEBUG trace says why.
Plan plan(const Request& request);

// The variable that makes a launch the background creation of the cache
// for the key it holds.
extern const wchar_t creatorVariable[];

} // namespace ClassDataCache
