// The POSIX half of Dll: dlopen, dlsym and dlclose.

#include "Dll.h"

#include <dlfcn.h>

namespace {

// The path goes to the loader unchanged; only an absolute path is safe from
// the loader's own search.
void* loadLibrary(const WideString& path) {
    void* module = dlopen(tstrings::wideToUtf8(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* const reason = dlerror();
        throwWithPosition(std::runtime_error((StringBuilder() << "dlopen(" << path << ") failed: "
                                                              << std::string(reason ? reason : ""))
                                                 .utf8()));
    }
    return module;
}

} // namespace

Dll::Dll(const StringBuilder& path) : modulePath(path.text()), moduleHandle(loadLibrary(modulePath)) {}

// dlopen of a loaded library's path counts one more reference on it.
Dll::Dll(const Dll& other) : modulePath(other.modulePath), moduleHandle(loadLibrary(modulePath)) {}

void LoadedModuleTraits::close(void* module) noexcept {
    dlclose(module);
}

Dll::Function Dll::getFunction(const std::string& symbolName, bool throwIfMissing) const {
    dlerror();
    void* const address = dlsym(moduleHandle.get(), symbolName.c_str());
    if (!address && throwIfMissing) {
        const char* const reason = dlerror();
        throwWithPosition(std::runtime_error((StringBuilder() << "dlsym(" << modulePath << ", "
                                                              << symbolName << ") failed: "
                                                              << std::string(reason ? reason : "no such symbol"))
                                                 .utf8()));
    }
    // POSIX guarantees that a data pointer from dlsym converts to a function
    // pointer.
    return reinterpret_cast<Function>(address);
}
