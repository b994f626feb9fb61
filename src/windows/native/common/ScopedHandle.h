#pragma once

// The owners of Windows resources (ScopedResource.h): kernel handles,
// modules and LocalAlloc memory. Every close keeps the thread's last error.

#include <type_traits>

#include "ScopedResource.h"
#include "WinSys.h"

// The thread's last error and the C runtime's errno.
class KeepLastError {
public:
    KeepLastError() noexcept : saved(GetLastError()) {}
    ~KeepLastError() { SetLastError(saved); }
    KeepLastError(const KeepLastError&) = delete;
    KeepLastError& operator=(const KeepLastError&) = delete;

private:
    DWORD saved;
    KeepErrno keepErrno;
};

// A kernel handle. Null and INVALID_HANDLE_VALUE both mean "none": the
// system returns one or the other for a failure, depending on the call.
struct HandleTraits {
    using Type = HANDLE;
    using KeepError = KeepLastError;
    static Type invalid() noexcept { return nullptr; }
    static bool isValid(Type value) noexcept {
        return value != nullptr && value != INVALID_HANDLE_VALUE;
    }
    static void close(Type value) noexcept { CloseHandle(value); }
};
using ScopedHandle = ScopedResource<HandleTraits>;

inline void freeModule(std::remove_pointer_t<HMODULE>* module) {
    FreeLibrary(module);
}

// A counted reference on a loaded module.
using ScopedModule =
    ScopedResource<PointerTraits<std::remove_pointer_t<HMODULE>, freeModule, KeepLastError>>;

template <class T>
void freeLocalMemory(T* memory) {
    LocalFree(memory);
}

// Memory that the system allocated with LocalAlloc for the caller
// (FormatMessageW, CommandLineToArgvW).
template <class T>
using ScopedLocalMemory = ScopedResource<PointerTraits<T, freeLocalMemory<T>, KeepLastError>>;
