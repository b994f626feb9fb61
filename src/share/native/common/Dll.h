#pragma once

// Counted references on loaded libraries and typed functions that keep
// their library loaded. The OS halves (WinDll, PosixDll) implement Dll; the
// system-directory constructor exists on Windows only.

#include <stdexcept>
#include <string>

#include "ErrorHandling.h"
#include "StringBuilder.h"
#include "tstrings.h"

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
    ~Dll();

    const WideString& path() const { return modulePath; }
    void* nativeHandle() const { return moduleHandle; }

    // Null only when throwIfMissing is false and the symbol is not exported.
    Function getFunction(const std::string& symbolName, bool throwIfMissing) const;

private:
    WideString modulePath;
    void* moduleHandle;
};

// A function looked up in a library, typed as T (a function pointer type);
// it holds its own reference on the library.
template <class T>
class DllFunction {
public:
    DllFunction(const Dll& library, const StringBuilder& symbol)
        : library(library), address(nullptr), symbolName(symbol.utf8()) {
        address = this->library.getFunction(symbolName, true);
    }

    operator T() const {
        if (!address) {
            throwWithPosition(std::runtime_error(
                (StringBuilder() << symbolName << "() function is not available in "
                                 << library.path()).utf8()));
        }
        return reinterpret_cast<T>(address);
    }

private:
    Dll library;
    Dll::Function address;
    std::string symbolName;
};
