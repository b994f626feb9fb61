#pragma once

// Owners of the POSIX resources that the C runtime's ScopedFile does not
// cover. errno survives their close, as with every owner.

#include <dirent.h>
#include <unistd.h>

#include "ScopedResource.h"

// A file descriptor from open(2); -1 owns nothing.
struct DescriptorTraits {
    using Type = int;
    using KeepError = KeepErrno;
    static Type invalid() noexcept { return -1; }
    static bool isValid(Type value) noexcept { return value >= 0; }
    static void close(Type value) noexcept { ::close(value); }
};
using ScopedDescriptor = ScopedResource<DescriptorTraits>;

inline void closeDirectory(DIR* directory) {
    ::closedir(directory);
}

// A directory listing from opendir(3).
using ScopedDirectory = ScopedResource<PointerTraits<DIR, closeDirectory>>;
