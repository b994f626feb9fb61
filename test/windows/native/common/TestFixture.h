#pragma once

// Where the Windows tests find their own binary and the fixture library,
// read straight from the system so that the code under test is not used to
// locate its own fixtures.

#include <string>

#include "WinSys.h"
#include "tstrings.h"

namespace testfixture {

inline WideString testBinaryPath() {
    WideString buffer(32768, L'\0');
    const DWORD length =
        GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    buffer.resize(length);
    return buffer;
}

inline WideString testBinaryDirectory() {
    const WideString path = testBinaryPath();
    return path.substr(0, path.find_last_of(L"\\/"));
}

inline const wchar_t* fixtureDllName() {
    return VX_FIXTURE_DLL_NAME;
}

inline WideString fixtureDllPath() {
    return testBinaryDirectory() + L"\\" + fixtureDllName();
}

// Whether the fixture library is mapped in this process.
inline bool fixtureDllLoaded() {
    return GetModuleHandleW(fixtureDllName()) != nullptr;
}

} // namespace testfixture
