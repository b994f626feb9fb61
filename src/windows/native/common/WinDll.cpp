#include "Dll.h"

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "ScopedHandle.h"
#include "StringBuilder.h"
#include "SysInfo.h"
#include "WinErrorHandling.h"
#include "WinSys.h"

namespace {

// The path goes to the system unchanged: no search rules or extension of
// our own.
HMODULE loadLibrary(const WideString& path) {
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module) {
        const DWORD err = GetLastError();
        StringBuilder message;
        message << "LoadLibraryW(" << path << ") failed";
        // "Module not found" for a file that is there sends the user
        // looking for the wrong thing.
        if (err == ERROR_MOD_NOT_FOUND && FileUtils::pathExists(path)) {
            message << ": the file exists, but a library that it depends on was not found";
        }
        throwWithPosition(SysError(message, reinterpret_cast<const void*>(&LoadLibraryW), err,
                                   "System error", path));
    }
    return module;
}

HMODULE handleOf(void* module) {
    return static_cast<HMODULE>(module);
}

} // namespace

Dll::Dll(const StringBuilder& path) : modulePath(path.text()), moduleHandle(loadLibrary(modulePath)) {}

Dll::Dll(InSystemDirectoryTag, const StringBuilder& name)
    : modulePath(FileUtils::joinPath(SysInfo::systemDirectory(), name.text())),
      moduleHandle(loadLibrary(modulePath)) {}

Dll::Dll(const Dll& other) : modulePath(other.modulePath) {
    // The reference is taken by address, not by name: the stored path may
    // be written in a form ('/', "..") that a lookup by name does not match.
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            static_cast<LPCWSTR>(other.moduleHandle.get()), &module)) {
        throwLastErrorOfCall(GetModuleHandleExW, modulePath);
    }
    moduleHandle.reset(module);
}

void LoadedModuleTraits::close(void* module) noexcept {
    const KeepLastError keep;
    FreeLibrary(handleOf(module));
}

Dll::Function Dll::getFunction(const std::string& symbolName, bool throwIfMissing) const {
    const FARPROC address = GetProcAddress(handleOf(moduleHandle.get()), symbolName.c_str());
    if (!address && throwIfMissing) {
        throwLastErrorOfCall(GetProcAddress, modulePath << ", " << symbolName);
    }
    return reinterpret_cast<Function>(address);
}
