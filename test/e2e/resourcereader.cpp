// Reads back, through the system's own functions, what branding wrote into
// an executable, one "name=value" line each on standard output (UTF-8):
//
//   resourcereader.exe <exe> [icon size]...
//
//   file-version, product-version   the fixed numbers (GetFileVersionInfoW)
//   string <Key>                    each version string (VerQueryValueW)
//   icons                           icon groups ExtractIconExW counts
//   icon <size>                     the id LookupIconIdFromDirectoryEx
//                                   picks for that size, and whether an
//                                   icon could be made of its image
//   level                           the manifest's requested execution level
//
// Exit code 0, or 2 when the executable cannot be read at all.

#include <cstdio>
#include <string>
#include <vector>

#include "WinSys.h"

#include <shellapi.h>

namespace {

void print(const std::wstring& line) {
    const std::wstring text = line + L"\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                         0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                        nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

std::wstring number(DWORD high, DWORD low) {
    return std::to_wstring(HIWORD(high)) + L"." + std::to_wstring(LOWORD(high)) + L"." +
           std::to_wstring(HIWORD(low)) + L"." + std::to_wstring(LOWORD(low));
}

std::string resource(HMODULE module, WORD id, LPCWSTR type) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    return data ? std::string(static_cast<const char*>(data), SizeofResource(module, found)) : std::string();
}

} // namespace

int wmain(int argc, wchar_t** argv);

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return 2;
    }
    const wchar_t* path = argv[1];
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    std::vector<char> version(size);
    if (size == 0 || !GetFileVersionInfoW(path, 0, size, version.data())) {
        print(L"version=none");
    } else {
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        if (VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
            print(L"file-version=" + number(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
            print(L"product-version=" + number(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
        }
        for (const wchar_t* key : {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
                                   L"LegalCopyright", L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
            wchar_t* value = nullptr;
            const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
            if (VerQueryValueW(version.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) {
                print(std::wstring(L"string ") + key + L"=" + std::wstring(value, wcsnlen(value, length)));
            }
        }
    }

    print(L"icons=" + std::to_wstring(ExtractIconExW(path, -1, nullptr, nullptr, 0)));
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        return 2;
    }
    std::string group = resource(module, 1, MAKEINTRESOURCEW(14));
    for (int i = 2; i < argc; ++i) {
        const int side = _wtoi(argv[i]);
        const int id = group.empty() ? 0
            : LookupIconIdFromDirectoryEx(reinterpret_cast<BYTE*>(&group[0]), TRUE, side, side, LR_DEFAULTCOLOR);
        std::string image = resource(module, static_cast<WORD>(id), MAKEINTRESOURCEW(3));
        HICON icon = image.empty() ? nullptr
            : CreateIconFromResourceEx(reinterpret_cast<BYTE*>(&image[0]), static_cast<DWORD>(image.size()),
                                       TRUE, 0x00030000, side, side, LR_DEFAULTCOLOR);
        print(L"icon " + std::to_wstring(side) + L"=" + std::to_wstring(id) + (icon ? L" made" : L" not made"));
        if (icon) {
            DestroyIcon(icon);
        }
    }
    const std::string manifest = resource(module, 1, MAKEINTRESOURCEW(24));
    const std::size_t level = manifest.find("level=\"");
    const std::size_t end = level == std::string::npos ? level : manifest.find('"', level + 7);
    print(L"level=" + (end == std::string::npos ? std::wstring(L"none")
                                                : std::wstring(manifest.begin() + static_cast<long>(level) + 7,
                                                               manifest.begin() + static_cast<long>(end))));
    FreeLibrary(module);
    return 0;
}
