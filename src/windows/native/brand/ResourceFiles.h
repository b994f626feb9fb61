#pragma once

// The Windows calls that branding makes on files: reading them whole,
// listing and reading an executable's resources, and rewriting them with
// the system's resource update calls. Failures throw VxError<SysError>.

#include <string>
#include <vector>

#include "ScopedHandle.h"
#include "WinSys.h"
#include "tstrings.h"

namespace ResourceFiles {

std::string readFile(const WideString& path);

// A resource type or name: an integer id, or a text when id is 0.
struct ResourceKey {
    WORD id = 0;
    WideString text;

    LPCWSTR pointer() const { return id != 0 ? MAKEINTRESOURCEW(id) : text.c_str(); }
};

struct Resource {
    ResourceKey type;
    ResourceKey name;
    WORD language;
    std::string data;
};

// Every resource of an executable, read without running any of its code.
std::vector<Resource> readResources(const WideString& path);

// One rewrite of a file's resources: commit() replaces all that the file
// held with those put; without it the file stays as it was.
class ResourceUpdate {
public:
    explicit ResourceUpdate(const WideString& path);

    void put(const Resource& resource);
    void commit();

private:
    // An update not committed is discarded.
    struct DiscardUpdate {
        using Type = HANDLE;
        using KeepError = KeepLastError;
        static Type invalid() noexcept { return nullptr; }
        static bool isValid(Type update) noexcept { return update != nullptr; }
        static void close(Type update) noexcept { EndUpdateResourceW(update, TRUE); }
    };

    WideString path;
    ScopedResource<DiscardUpdate> handle;
};

} // namespace ResourceFiles
