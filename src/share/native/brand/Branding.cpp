#include "Branding.h"

#include <algorithm>
#include <random>
#include <stdexcept>

#include "BrandFiles.h"
#include "ErrorHandling.h"
#include "Manifest.h"
#include "PeImage.h"
#include "ResourceTree.h"
#include "ResourceWriter.h"
#include "StringBuilder.h"
#include "Toolbox.h"

namespace {

constexpr std::uint16_t launcherIconGroup = 1;
constexpr std::uint16_t englishUs = 0x0409;

[[noreturn]] void failFor(const WideString& path, const char* message) {
    throwWithPosition(std::runtime_error((StringBuilder() << "\"" << path << "\": " << message).utf8()));
}

void requireLauncher(const std::string& image, const WideString& path) {
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

bool isType(const Resource& resource, std::uint16_t type) {
    return resource.type.text.empty() && resource.type.id == type;
}

bool isFirst(const Resource& resource, std::uint16_t type) {
    return isType(resource, type) && resource.name.text.empty() && resource.name.id == 1;
}

// A name beside the target that nobody can know in advance.
WideString temporaryName(const WideString& target, std::random_device& random) {
    const wchar_t digits[] = L"0123456789abcdef";
    WideString name = target + L".";
    for (int i = 0; i < 2; ++i) {
        std::uint32_t value = random();
        for (int j = 0; j < 8; ++j, value >>= 4) {
            name += digits[value & 0xF];
        }
    }
    return name + L".branding";
}

} // namespace

std::string brandImage(const std::string& image, const BrandRequest& request, const IconFile* icon) {
    requireLauncher(image, request.target);
    PeImage::Layout layout;
    std::vector<Resource> resources;
    try {
        layout = PeImage::readLayout(image);
        resources = ResourceTree::read(image, layout);
    } catch (const VxError<std::runtime_error>& error) {
        failFor(request.target, error.plainMessage());
    }
    if (layout.directory(PeImage::certificateDirectory).size != 0 && !request.stripSignature) {
        throwWithPosition(std::runtime_error(
            (StringBuilder() << "\"" << request.target
                             << "\" is signed: brand it first and sign it after, or give "
                                "--strip-signature to remove the signature")
                .utf8()));
    }

    VersionBlock version;
    std::uint16_t versionLanguage = englishUs;
    std::uint16_t iconLanguage = englishUs;
    const Resource* manifest = nullptr;
    for (const Resource& resource : resources) {
        if (isFirst(resource, ResourceTypes::version)) {
            try {
                version = VersionBlock::parse(resource.data);
            } catch (const VxError<std::runtime_error>& error) {
                failFor(request.target, error.plainMessage());
            }
            versionLanguage = resource.language;
        } else if (isFirst(resource, ResourceTypes::iconGroup)) {
            iconLanguage = resource.language;
        } else if (isFirst(resource, ResourceTypes::manifest)) {
            manifest = &resource;
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

    std::vector<Resource> branded;
    for (const Resource& resource : resources) {
        const bool replaced = isType(resource, ResourceTypes::version) ||
            (icon && (isType(resource, ResourceTypes::icon) || isType(resource, ResourceTypes::iconGroup))) ||
            (request.executionLevel && &resource == manifest);
        if (!replaced) {
            branded.push_back(resource);
        }
    }
    if (icon) {
        std::uint16_t id = 1;
        for (const IconImage& iconImage : icon->images()) {
            branded.push_back({{ResourceTypes::icon, {}}, {id++, {}}, iconLanguage, iconImage.data});
        }
        branded.push_back({{ResourceTypes::iconGroup, {}}, {launcherIconGroup, {}}, iconLanguage,
                           icon->groupDirectory(1)});
    }
    branded.push_back({{ResourceTypes::version, {}}, {1, {}}, versionLanguage, version.serialize()});
    if (request.executionLevel) {
        if (manifest == nullptr) {
            failFor(request.target, "Cannot set the execution level: the image has no manifest");
        }
        Resource changed = *manifest;
        changed.data = Manifest::withExecutionLevel(manifest->data, *request.executionLevel);
        branded.push_back(changed);
    }

    std::string out;
    try {
        out = ResourceWriter::replaceResources(image, branded, request.stripSignature);
    } catch (const VxError<std::runtime_error>& error) {
        failFor(request.target, error.plainMessage());
    }
    // What was written must still be a launcher before it takes the
    // target's place.
    requireLauncher(out, request.target);
    return out;
}

void brand(const BrandRequest& request) {
    // Everything that can be checked is checked before a file is written.
    const std::string image = BrandFiles::readFile(request.target);
    std::optional<IconFile> icon;
    if (request.iconFile) {
        const std::string bytes = BrandFiles::readFile(*request.iconFile);
        try {
            icon = IconFile::parse(bytes);
        } catch (const VxErrorBase& error) {
            throwWithPosition(std::runtime_error(
                (StringBuilder() << "\"" << *request.iconFile << "\": " << error.plainMessage()).utf8()));
        }
    }
    const std::string branded = brandImage(image, request, icon ? &*icon : nullptr);

    // A new file under a name nobody can plant in advance; one that exists
    // already is never opened, so nothing found there can become the target.
    std::random_device random;
    WideString copy;
    bool made = false;
    for (int attempt = 0; attempt < 8 && !made; ++attempt) {
        copy = temporaryName(request.target, random);
        made = BrandFiles::writeNewFile(copy, branded, request.target);
    }
    if (!made) {
        throwWithPosition(std::runtime_error(
            (StringBuilder() << "Cannot make a new file beside \"" << request.target
                             << "\": every name tried exists already").utf8()));
    }
    AtEndOfScope removeCopy([&copy] { BrandFiles::removeFile(copy); });
    BrandFiles::replaceFile(copy, request.target);
    removeCopy.cancel();
}
