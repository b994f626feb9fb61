#include "ResourceTree.h"

#include <map>
#include <set>
#include <stdexcept>

#include "Bytes.h"
#include "ErrorHandling.h"

namespace {

constexpr const char* what = "the resource directory";
constexpr std::uint32_t subdirectoryBit = 0x80000000;
constexpr std::size_t directoryHeaderSize = 16;
constexpr std::size_t entrySize = 8;
constexpr std::size_t dataEntrySize = 16;

class TreeReader {
public:
    TreeReader(const std::string& image, const PeImage::Layout& layout, std::uint32_t rva)
        : image(image), layout(layout) {
        const PeImage::Section* section = layout.sectionAt(rva);
        base = layout.offsetOf(rva, directoryHeaderSize);
        // Offsets in the tree are relative to its start and stay in its section.
        limit = static_cast<std::size_t>(section->rawOffset) + section->rawSize - base;
    }

    std::vector<Resource> read() {
        std::vector<Resource> resources;
        Resource resource;
        walk(0, 0, resource, resources);
        return resources;
    }

private:
    void need(std::size_t offset, std::size_t size) const {
        if (offset > limit || limit - offset < size) {
            PeImage::throwDamaged();
        }
    }

    ResourceKey keyOf(std::uint32_t name) {
        if ((name & subdirectoryBit) == 0) {
            if (name > 0xFFFF) {
                PeImage::throwDamaged();
            }
            return {static_cast<std::uint16_t>(name), {}};
        }
        const std::size_t offset = name & ~subdirectoryBit;
        need(offset, 2);
        const std::uint16_t length = Bytes::u16(image, base + offset, what);
        need(offset + 2, 2u * length);
        spend(2u * length);
        ResourceKey key;
        for (std::uint16_t i = 0; i < length; ++i) {
            key.text += static_cast<wchar_t>(Bytes::u16(image, base + offset + 2 + 2u * i, what));
        }
        if (key.text.empty()) {
            PeImage::throwDamaged();
        }
        return key;
    }

    // The tree's bytes may be read only once each.
    void visit(std::size_t offset) {
        if (!visited.insert(offset).second) {
            PeImage::throwDamaged();
        }
    }

    void spend(std::size_t bytes) {
        copied += bytes;
        if (copied > image.size()) {
            PeImage::throwDamaged();
        }
    }

    // Levels: 0 types, 1 names, 2 languages, whose entries are data.
    void walk(std::size_t offset, int level, Resource& resource, std::vector<Resource>& out) {
        visit(offset);
        need(offset, directoryHeaderSize);
        const std::size_t count = static_cast<std::size_t>(Bytes::u16(image, base + offset + 12, what)) +
                                  Bytes::u16(image, base + offset + 14, what);
        need(offset + directoryHeaderSize, entrySize * count);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t entry = base + offset + directoryHeaderSize + entrySize * i;
            const std::uint32_t name = Bytes::u32(image, entry, what);
            const std::uint32_t target = Bytes::u32(image, entry + 4, what);
            const bool subdirectory = (target & subdirectoryBit) != 0;
            if (subdirectory != (level < 2)) {
                PeImage::throwDamaged();
            }
            if (level == 0) {
                resource.type = keyOf(name);
            } else if (level == 1) {
                resource.name = keyOf(name);
            } else {
                const ResourceKey language = keyOf(name);
                if (!language.text.empty()) {
                    PeImage::throwDamaged();
                }
                resource.language = language.id;
            }
            if (subdirectory) {
                walk(target & ~subdirectoryBit, level + 1, resource, out);
                continue;
            }
            visit(target);
            need(target, dataEntrySize);
            const std::uint32_t dataRva = Bytes::u32(image, base + target, what);
            const std::uint32_t size = Bytes::u32(image, base + target + 4, what);
            spend(size);
            resource.codePage = Bytes::u32(image, base + target + 8, what);
            // Empty data may be placed at the very end of the section.
            resource.data = size == 0 ? std::string() : image.substr(layout.offsetOf(dataRva, size), size);
            out.push_back(resource);
        }
    }

    const std::string& image;
    const PeImage::Layout& layout;
    std::size_t base = 0;
    std::size_t limit = 0;
    std::size_t copied = 0;
    std::set<std::size_t> visited;
};

using Languages = std::map<std::uint16_t, const Resource*>;
using Names = std::map<ResourceKey, Languages>;
using Types = std::map<ResourceKey, Names>;

std::size_t directorySize(std::size_t entries) {
    return directoryHeaderSize + entrySize * entries;
}

std::size_t alignUp(std::size_t value, std::size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

void putDirectoryHeader(std::string& out, std::size_t at, std::size_t named, std::size_t ids) {
    if (named > 0xFFFF || ids > 0xFFFF) {
        throwWithPosition(std::runtime_error("Too many resources for an executable image"));
    }
    // Characteristics, time stamp and version stay zero.
    Bytes::setU16(out, at + 12, static_cast<std::uint16_t>(named));
    Bytes::setU16(out, at + 14, static_cast<std::uint16_t>(ids));
}

template <class Map>
std::size_t namedCount(const Map& map) {
    std::size_t named = 0;
    for (const auto& item : map) {
        named += item.first.text.empty() ? 0 : 1;
    }
    return named;
}

} // namespace

bool ResourceKey::operator<(const ResourceKey& other) const {
    const bool named = !text.empty();
    const bool otherNamed = !other.text.empty();
    if (named != otherNamed) {
        return named;
    }
    return named ? text < other.text : id < other.id;
}

namespace ResourceTree {

std::vector<Resource> read(const std::string& image, const PeImage::Layout& layout) {
    const PeImage::DataDirectory directory = layout.directory(PeImage::resourceDirectory);
    if (directory.address == 0 || directory.size == 0) {
        return {};
    }
    return TreeReader(image, layout, directory.address).read();
}

std::string build(const std::vector<Resource>& resources, std::uint32_t rva) {
    Types types;
    for (const Resource& resource : resources) {
        types[resource.type][resource.name][resource.language] = &resource;
    }
    // Where everything goes: the directories level by level, then the
    // names, the data entries and the data.
    std::size_t size = directorySize(types.size());
    std::map<const Names*, std::size_t> nameDirectories;
    std::map<const Languages*, std::size_t> languageDirectories;
    for (const auto& [type, names] : types) {
        nameDirectories[&names] = size;
        size += directorySize(names.size());
    }
    std::vector<const Languages*> languageOrder;
    for (const auto& [type, names] : types) {
        for (const auto& [name, languages] : names) {
            languageDirectories[&languages] = size;
            languageOrder.push_back(&languages);
            size += directorySize(languages.size());
        }
    }
    std::map<WideString, std::size_t> strings;
    for (const auto& [type, names] : types) {
        if (!type.text.empty() && strings.emplace(type.text, size).second) {
            size += 2 + Bytes::utf16(type.text).size();
        }
        for (const auto& [name, languages] : names) {
            if (!name.text.empty() && strings.emplace(name.text, size).second) {
                size += 2 + Bytes::utf16(name.text).size();
            }
        }
    }
    size = alignUp(size, 4);
    std::map<const Resource*, std::size_t> dataEntries;
    for (const Languages* languages : languageOrder) {
        for (const auto& [language, resource] : *languages) {
            dataEntries[resource] = size;
            size += dataEntrySize;
        }
    }
    std::map<const Resource*, std::size_t> data;
    for (const Languages* languages : languageOrder) {
        for (const auto& [language, resource] : *languages) {
            size = alignUp(size, 8);
            data[resource] = size;
            size += resource->data.size();
        }
    }
    if (size > 0x7FFFFFFF || 0xFFFFFFFFu - rva < size) {
        throwWithPosition(std::runtime_error("The resources are too large for an executable image"));
    }

    std::string out(size, '\0');
    auto nameField = [&strings](const ResourceKey& key) -> std::uint32_t {
        return key.text.empty() ? key.id : subdirectoryBit | static_cast<std::uint32_t>(strings.at(key.text));
    };
    putDirectoryHeader(out, 0, namedCount(types), types.size() - namedCount(types));
    std::size_t entry = directoryHeaderSize;
    for (const auto& [type, names] : types) {
        Bytes::setU32(out, entry, nameField(type));
        Bytes::setU32(out, entry + 4, subdirectoryBit | static_cast<std::uint32_t>(nameDirectories.at(&names)));
        entry += entrySize;
        const std::size_t at = nameDirectories.at(&names);
        putDirectoryHeader(out, at, namedCount(names), names.size() - namedCount(names));
        std::size_t nameEntry = at + directoryHeaderSize;
        for (const auto& [name, languages] : names) {
            const std::size_t languageAt = languageDirectories.at(&languages);
            Bytes::setU32(out, nameEntry, nameField(name));
            Bytes::setU32(out, nameEntry + 4, subdirectoryBit | static_cast<std::uint32_t>(languageAt));
            nameEntry += entrySize;
            putDirectoryHeader(out, languageAt, 0, languages.size());
            std::size_t languageEntry = languageAt + directoryHeaderSize;
            for (const auto& [language, resource] : languages) {
                const std::size_t dataEntry = dataEntries.at(resource);
                Bytes::setU32(out, languageEntry, language);
                Bytes::setU32(out, languageEntry + 4, static_cast<std::uint32_t>(dataEntry));
                languageEntry += entrySize;
                Bytes::setU32(out, dataEntry, rva + static_cast<std::uint32_t>(data.at(resource)));
                Bytes::setU32(out, dataEntry + 4, static_cast<std::uint32_t>(resource->data.size()));
                Bytes::setU32(out, dataEntry + 8, resource->codePage);
                out.replace(data.at(resource), resource->data.size(), resource->data);
            }
        }
    }
    for (const auto& [text, at] : strings) {
        const std::string units = Bytes::utf16(text);
        if (units.size() / 2 > 0xFFFF) {
            throwWithPosition(std::runtime_error("A resource name is too long"));
        }
        Bytes::setU16(out, at, static_cast<std::uint16_t>(units.size() / 2));
        out.replace(at + 2, units.size(), units);
    }
    return out;
}

} // namespace ResourceTree
