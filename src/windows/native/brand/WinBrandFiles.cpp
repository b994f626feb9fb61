// The Windows half of the branding tool's file operations.

#include "BrandFiles.h"

#include <stdexcept>

#include "ScopedHandle.h"
#include "StringBuilder.h"
#include "Toolbox.h"
#include "WinErrorHandling.h"

namespace {

constexpr LONGLONG largestFile = 256 * 1024 * 1024;

} // namespace

namespace BrandFiles {

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
    if (size.QuadPart > largestFile) {
        throwWithPosition(std::runtime_error((StringBuilder() << "\"" << path << "\" is too large").utf8()));
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

bool writeNewFile(const WideString& path, const std::string& bytes, const WideString&) {
    // CREATE_NEW fails on anything already there; a link is not followed.
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
            return false;
        }
        throwSysError(&CreateFileW, error, "Cannot create \"" << path << "\"");
    }
    // Whatever fails from here, the new file goes again (closed first).
    AtEndOfScope removeNew([&] {
        file.reset();
        removeFile(path);
    });
    DWORD count = 0;
    if (!bytes.empty() &&
        (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr) ||
         count != bytes.size())) {
        throwLastError(&WriteFile, "Cannot write \"" << path << "\"");
    }
    if (!FlushFileBuffers(file.get())) {
        throwLastError(&FlushFileBuffers, "Cannot write \"" << path << "\"");
    }
    removeNew.cancel();
    return true;
}

void removeFile(const WideString& path) noexcept {
    DeleteFileW(path.c_str());
}

void replaceFile(const WideString& from, const WideString& to) {
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        throwLastError(&MoveFileExW, "MoveFileExW(" << from << ", " << to << ") failed");
    }
}

} // namespace BrandFiles
