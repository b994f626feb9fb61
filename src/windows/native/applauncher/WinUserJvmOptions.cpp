// The Windows half of where the user's JVM options file lives.

#include "UserJvmOptions.h"

#include "Platform.h"

namespace UserJvmOptions {

// The roaming application data folder, as the user's session sets it.
WideString userConfigDirectory() {
    WideString directory;
    if (!platform::environmentVariable(L"APPDATA", directory)) {
        directory.clear();
    }
    return directory;
}

} // namespace UserJvmOptions
