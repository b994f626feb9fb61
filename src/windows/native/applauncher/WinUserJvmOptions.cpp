// The Windows half of where the user's JVM options file lives and whose it is.

#include "UserJvmOptions.h"

#include <io.h>

#include "FileUtils.h"
#include "Platform.h"
#include "WinOwnership.h"

namespace UserJvmOptions {

// The roaming application data folder, as the user's session sets it; a
// relative value would be looked up from the current directory.
WideString userConfigDirectory() {
    WideString directory;
    if (!platform::environmentVariable(L"APPDATA", directory) || !FileUtils::isAbsolutePath(directory)) {
        directory.clear();
    }
    return directory;
}

WideString untrustedFile(std::FILE* stream) {
    const intptr_t handle = stream ? _get_osfhandle(_fileno(stream)) : -1;
    if (handle == -1) {
        return L"its owner cannot be read";
    }
    return WinOwnership::untrustedObject(reinterpret_cast<HANDLE>(handle));
}

} // namespace UserJvmOptions
