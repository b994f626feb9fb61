#pragma once

// Counted references on loaded libraries and typed functions that keep
// their library loaded. The OS halves (WinDll, PosixDll) implement Dll; the
// system-directory constructor exists on Windows only.

#include <string>

#include "ErrorHandling.h"
#include "ScopedResource.h"
#include "StringBuilder.h"
#include "tstrings.h"

// A loaded library's handle as the OS half has it. Each half defines close;
// it keeps the thread's last error (errno on POSIX).
struct LoadedModuleTraits {
    using Type = void*;
    using KeepError = KeepErrno;
    static Type invalid() noexcept { return nullptr; }
    static bool isValid(Type module) noexcept { return module != nullptr; }
    static void close(Type module) noexcept;
};

class Dll {
public:
    // Generic function pointer: lookups are cast through it to their type.
    using Function = void (*)();

    struct InSystemDirectoryTag {};
    static constexpr InSystemDirectoryTag InSystemDirectory{};

    // Loads the library at exactly this path (LoadLibraryW semantics; on
    // POSIX dlopen, which takes an absolute path as it is).
    explicit Dll(const StringBuilder& path);
    // Loads the named library from the system directory, by its full path.
    Dll(InSystemDirectoryTag, const StringBuilder& name);
    // Takes a second, independent reference on the same module.
    Dll(const Dll& other);
    Dll& operator=(const Dll&) = delete;
    Dll(Dll&& other) noexcept = default;
    Dll& operator=(Dll&&) = delete;

    const WideString& path() const { return modulePath; }
    void* nativeHandle() const { return moduleHandle.get(); }

    // Null only when throwIfMissing is false and the symbol is not exported.
    Function getFunction(const std::string& symbolName, bool throwIfMissing) const;

private:
    WideString modulePath;
    ScopedResource<LoadedModuleTraits> moduleHandle;
};

// A function looked up in a library, typed as T (a function pointer type);
// it holds its own reference on the library.
template <class T>
class DllFunction {
public:
    // Throws when the library does not export the symbol.
    DllFunction(const Dll& library, const StringBuilder& symbol)
        : library(library), address(nullptr), symbolName(symbol.utf8()) {
        address = this->library.getFunction(symbolName, true);
    }

    operator T() const { return reinterpret_cast<T>(address); }

private:
    Dll library;
    Dll::Function address;
    std::string symbolName;
};
