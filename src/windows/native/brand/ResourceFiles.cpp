#include "ResourceFiles.h"

#include <memory>

#include "ScopedHandle.h"
#include "StringBuilder.h"
#include "WinErrorHandling.h"

namespace {

ResourceFiles::ResourceKey keyOf(LPCWSTR value) {
    if (IS_INTRESOURCE(value)) {
        return {static_cast<WORD>(reinterpret_cast<ULONG_PTR>(value)), {}};
    }
    return {0, value};
}

struct Listing {
    std::vector<ResourceFiles::Resource>* resources;
    ResourceFiles::ResourceKey type;
    ResourceFiles::ResourceKey name;
};

BOOL CALLBACK addLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR context) {
    const auto* listing = reinterpret_cast<const Listing*>(context);
    listing->resources->push_back({listing->type, listing->name, language, {}});
    return TRUE;
}

BOOL CALLBACK addName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR context) {
    Listing listing{reinterpret_cast<Listing*>(context)->resources, keyOf(type), keyOf(name)};
    EnumResourceLanguagesW(module, type, name, addLanguage, reinterpret_cast<LONG_PTR>(&listing));
    return TRUE;
}

BOOL CALLBACK addType(HMODULE module, LPWSTR type, LONG_PTR context) {
    EnumResourceNamesW(module, type, addName, context);
    return TRUE;
}

} // namespace

namespace ResourceFiles {

std::string readFile(const WideString& path) {
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        throwLastError(&CreateFileW, "Cannot open \"" << path << "\"");
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) {
        throwLastError(&GetFileSizeEx, "Cannot read \"" << path << "\"");
    }
    if (size.QuadPart > 256 * 1024 * 1024) {
        throwWithPosition(std::runtime_error(
            (StringBuilder() << "\"" << path << "\" is too large").utf8()));
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size())) {
        throwLastError(&ReadFile, "Cannot read \"" << path << "\"");
    }
    return bytes;
}

std::vector<Resource> readResources(const WideString& path) {
    const ScopedModule module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) {
        throwLastError(&LoadLibraryExW, "Cannot read the resources of \"" << path << "\"");
    }
    std::vector<Resource> resources;
    Listing listing{&resources, {}, {}};
    // An image without resources makes the enumeration fail; that is no error.
    EnumResourceTypesW(module.get(), addType, reinterpret_cast<LONG_PTR>(&listing));
    for (Resource& resource : resources) {
        HRSRC found = FindResourceExW(module.get(), resource.type.pointer(), resource.name.pointer(),
                                      resource.language);
        HGLOBAL loaded = found ? LoadResource(module.get(), found) : nullptr;
        const void* data = loaded ? LockResource(loaded) : nullptr;
        if (!data) {
            throwLastError(&LoadResource, "Cannot read the resources of \"" << path << "\"");
        }
        resource.data.assign(static_cast<const char*>(data), SizeofResource(module.get(), found));
    }
    return resources;
}

ResourceUpdate::ResourceUpdate(const WideString& path) : path(path) {
    // Keeping the existing resources and deleting some of them does not work
    // under Wine (they come back when the file is written); so all are
    // dropped and those to keep are put again.
    handle.reset(BeginUpdateResourceW(path.c_str(), TRUE));
    if (!handle) {
        throwLastError(&BeginUpdateResourceW, "BeginUpdateResourceW(" << path << ") failed");
    }
}

void ResourceUpdate::put(const Resource& resource) {
    if (!UpdateResourceW(handle.get(), resource.type.pointer(), resource.name.pointer(), resource.language,
                         const_cast<char*>(resource.data.data()), static_cast<DWORD>(resource.data.size()))) {
        throwLastError(&UpdateResourceW, "UpdateResourceW(" << path << ") failed");
    }
}

void ResourceUpdate::commit() {
    if (!EndUpdateResourceW(handle.release(), FALSE)) {
        throwLastError(&EndUpdateResourceW, "EndUpdateResourceW(" << path << ") failed");
    }
}

} // namespace ResourceFiles
