#pragma once

// The POSIX side of the launch tests that run on every platform: the
// recording libjli.so, a library without the launch entry (both built beside
// the tests, VX_RECORDING_JLI and VX_NO_ENTRY_LIBRARY), and how the loader's
// failures begin.

#include <string>

#include <dlfcn.h>

#include "JvmLauncherData.h"
#include "tstrings.h"

namespace stubplatform {

inline WideString launchLibrary() {
    return tstrings::utf8ToWide(VX_RECORDING_JLI);
}

inline WideString libraryWithoutEntry() {
    return tstrings::utf8ToWide(VX_NO_ENTRY_LIBRARY);
}

inline WideString missingLibrary() {
    return L"/nonexistent/libjli.so";
}

inline bool isLoaded(const WideString& path) {
    void* const module = dlopen(tstrings::wideToUtf8(path).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (module) {
        dlclose(module);
    }
    return module != nullptr;
}

inline std::string loadFailure(const WideString& path) {
    return "dlopen(" + tstrings::wideToUtf8(path) + ") failed: ";
}

inline std::string lookupFailure(const WideString& path) {
    return "dlsym(" + tstrings::wideToUtf8(path) + ", " + jliLaunchSymbol + ") failed: ";
}

} // namespace stubplatform
