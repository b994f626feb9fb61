#pragma once

// The Windows side of the launch tests that run on every platform: the stub
// runtime's jli.dll, a library without the launch entry, and how the
// loader's failures begin.

#include <string>

#include "JvmLauncherData.h"
#include "StubRuntime.h"
#include "WinSys.h"
#include "tstrings.h"

namespace stubplatform {

inline WideString launchLibrary() {
    return stubRuntimeBin() + L"\\jli.dll";
}

inline WideString libraryWithoutEntry() {
    return stubRuntimeBin() + L"\\splashscreen.dll";
}

inline WideString missingLibrary() {
    return stubRuntimeBin() + L"\\missing\\jli.dll";
}

inline bool isLoaded(const WideString& path) {
    return GetModuleHandleW(path.c_str()) != nullptr;
}

inline std::string loadFailure(const WideString& path) {
    return "LoadLibraryW(" + tstrings::wideToUtf8(path) + ") failed";
}

inline std::string lookupFailure(const WideString& path) {
    return "GetProcAddress(" + tstrings::wideToUtf8(path) + ", " + jliLaunchSymbol + ") failed";
}

} // namespace stubplatform
