#pragma once

// Appending to the files that the tests name through environment variables.
// Only kernel32 calls, so it is safe inside DllMain.

#include <cstddef>

#include "ScopedHandle.h"
#include "WinSys.h"

// Appends the bytes to the file named by the variable; nothing when the
// variable is unset or the file cannot be opened.
inline void appendToFileNamedBy(const wchar_t* variable, const char* bytes, std::size_t length) {
    wchar_t path[2048];
    const DWORD pathLength = GetEnvironmentVariableW(variable, path, 2048);
    if (pathLength == 0 || pathLength >= 2048) {
        return;
    }
    const ScopedHandle file(CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return;
    }
    DWORD written = 0;
    WriteFile(file.get(), bytes, static_cast<DWORD>(length), &written, nullptr);
}

// One line in the events file (VX_STUB_EVENTS).
inline void appendStubEvent(const char* line) {
    appendToFileNamedBy(L"VX_STUB_EVENTS", line, static_cast<std::size_t>(lstrlenA(line)));
    appendToFileNamedBy(L"VX_STUB_EVENTS", "\n", 1);
}

// Every stub library reports its attachments from its entry point.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

// "<name> loaded" / "<name> unloaded" from a library's DllMain.
inline void reportStubAttachment(const char* loaded, const char* unloaded, DWORD reason) {
    if (reason == DLL_PROCESS_ATTACH) {
        appendStubEvent(loaded);
    } else if (reason == DLL_PROCESS_DETACH) {
        appendStubEvent(unloaded);
    }
}
