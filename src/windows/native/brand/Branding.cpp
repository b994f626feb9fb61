#include "Branding.h"

#include <algorithm>
#include <stdexcept>

#include "ErrorHandling.h"
#include "IconFile.h"
#include "PeImage.h"
#include "ResourceFiles.h"
#include "StringBuilder.h"
#include "Toolbox.h"
#include "WinErrorHandling.h"

namespace {

constexpr WORD iconType = 3;       // RT_ICON
constexpr WORD iconGroupType = 14; // RT_GROUP_ICON
constexpr WORD versionType = 16;   // RT_VERSION
constexpr WORD launcherIconGroup = 1;

void requireLauncher(const WideString& path) {
    const std::string image = ResourceFiles::readFile(path);
    std::vector<std::string> names;
    try {
        names = PeImage::exportedNames(image);
    } catch (const std::runtime_error&) {
        names.clear();
    }
    if (std::find(names.begin(), names.end(), launcherMarkExport) == names.end()) {
        throwWithPosition(std::runtime_error(
            (StringBuilder() << "\"" << path << "\" is not a Vantorix launcher (it does not export "
                             << launcherMarkExport << ")").utf8()));
    }
}

// Deletes a file on every path that does not reach release().
} // namespace

void brand(const BrandRequest& request) {
    // Everything that can be checked is checked before the copy is made.
    requireLauncher(request.target);
    std::optional<IconFile> icon;
    if (request.iconFile) {
        const std::string bytes = ResourceFiles::readFile(*request.iconFile);
        try {
            icon = IconFile::parse(bytes);
        } catch (const VxErrorBase& error) {
            throwWithPosition(std::runtime_error(
                (StringBuilder() << "\"" << *request.iconFile << "\": " << error.plainMessage()).utf8()));
        }
    }
    const std::vector<ResourceFiles::Resource> existing = ResourceFiles::readResources(request.target);
    VersionBlock version;
    WORD versionLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    WORD iconLanguage = versionLanguage;
    for (const ResourceFiles::Resource& resource : existing) {
        if (resource.type.id == versionType && resource.name.id == 1) {
            version = VersionBlock::parse(resource.data);
            versionLanguage = resource.language;
        } else if (resource.type.id == iconGroupType && resource.name.id == launcherIconGroup) {
            iconLanguage = resource.language;
        }
    }
    if (request.fileVersion) {
        version.fileVersion = *request.fileVersion;
        version.setString(L"FileVersion", versionText(*request.fileVersion));
    }
    if (request.productVersion) {
        version.productVersion = *request.productVersion;
        version.setString(L"ProductVersion", versionText(*request.productVersion));
    }
    for (const auto& [key, value] : request.strings) {
        version.setString(key, value);
    }

    const WideString copy = request.target + L".branding";
    if (!CopyFileW(request.target.c_str(), copy.c_str(), FALSE)) {
        throwLastError(&CopyFileW, "CopyFileW(" << request.target << ", " << copy << ") failed");
    }
    // The copy goes again unless it takes the target's place.
    AtEndOfScope removeCopy([&copy] { DeleteFileW(copy.c_str()); });
    {
        ResourceFiles::ResourceUpdate update(copy);
        for (const ResourceFiles::Resource& resource : existing) {
            const bool replaced = resource.type.id == versionType ||
                (icon && (resource.type.id == iconType || resource.type.id == iconGroupType));
            if (!replaced) {
                update.put(resource);
            }
        }
        if (icon) {
            WORD id = 1;
            for (const IconImage& image : icon->images()) {
                update.put({{iconType, {}}, {id++, {}}, iconLanguage, image.data});
            }
            update.put({{iconGroupType, {}}, {launcherIconGroup, {}}, iconLanguage,
                        icon->groupDirectory(1)});
        }
        update.put({{versionType, {}}, {1, {}}, versionLanguage, version.serialize()});
        update.commit();
    }
    // The system rewrote the image; make sure it is still a launcher before
    // it takes the target's place.
    requireLauncher(copy);
    if (!MoveFileExW(copy.c_str(), request.target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        throwLastError(&MoveFileExW, "MoveFileExW(" << copy << ", " << request.target << ") failed");
    }
    removeCopy.cancel();
}
