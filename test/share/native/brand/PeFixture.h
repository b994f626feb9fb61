#pragma once

// Small executable images made byte by byte for the tests of the image
// reader and the resource writer: headers, a code section, an export table
// naming the launcher's mark, a resource section, and what may follow it
// (a relocation section, a symbol table, a certificate table).

#include <cstdint>
#include <string>
#include <vector>

#include "Bytes.h"
#include "ResourceTree.h"

struct PeFixture {
    bool pe32Plus = true;
    std::vector<Resource> resources;
    // A section after the resources in memory and in the file.
    bool relocationsAfter = false;
    // Bytes after the sections that the file header names as its symbol table.
    std::string symbols;
    // A certificate table at the end of the file.
    std::string certificate;
    std::uint32_t exportNameCount = 1;
    // Appended to the export section at 0x60 (its address: 0x2060), and
    // where in that section the name table is.
    std::string exportTail;
    std::uint32_t nameTable = 0x28;

    static constexpr std::uint32_t fileAlignment = 0x200;
    static constexpr std::uint32_t sectionAlignment = 0x1000;
    static constexpr std::size_t peOffset = 0x80;

    std::size_t optionalHeader() const { return peOffset + 24; }
    std::size_t directories() const { return optionalHeader() + (pe32Plus ? 112 : 96); }

    std::string build() const {
        struct Section {
            const char* name;
            std::string data;
            std::uint32_t characteristics;
        };
        std::string exports(0x60, '\0');
        // Export directory: the name count at 24, the name table's address at 32.
        const std::uint32_t exportRva = 0x2000;
        putAt(exports, 24, exportNameCount);
        putAt(exports, 32, exportRva + nameTable);
        putAt(exports, 0x28, exportRva + 0x30);
        exports.replace(0x30, 18, std::string("jvmLauncherGetAPI\0", 18));
        exports += exportTail;
        std::vector<Section> sections = {
            {".text", std::string(0x80, '\xC3'), 0x60000020},
            {".edata", exports, 0x40000040},
            {".rsrc", ResourceTree::build(resources, 0x3000), 0x40000040},
        };
        if (relocationsAfter) {
            sections.push_back({".reloc", std::string(0x20, '\x01'), 0x42000040});
        }

        std::string image(0x400, '\0');
        image.replace(0, 2, "MZ");
        putAt(image, 0x3C, static_cast<std::uint32_t>(peOffset));
        image.replace(peOffset, 4, std::string("PE\0\0", 4));
        const std::size_t fileHeader = peOffset + 4;
        Bytes::setU16(image, fileHeader, pe32Plus ? 0x8664 : 0x14C);
        Bytes::setU16(image, fileHeader + 2, static_cast<std::uint16_t>(sections.size()));
        const std::uint16_t optionalSize = pe32Plus ? 240 : 224;
        Bytes::setU16(image, fileHeader + 16, optionalSize);
        Bytes::setU16(image, fileHeader + 18, 0x22);
        const std::size_t optional = optionalHeader();
        Bytes::setU16(image, optional, pe32Plus ? 0x20B : 0x10B);
        putAt(image, optional + 32, sectionAlignment);
        putAt(image, optional + 36, fileAlignment);
        putAt(image, optional + 60, 0x400);
        Bytes::setU16(image, optional + 68, 2);
        putAt(image, directories() - 4, 16);
        putAt(image, directories(), exportRva);
        putAt(image, directories() + 4, 0x60);

        std::uint32_t address = 0x1000;
        std::uint32_t initialized = 0;
        std::size_t table = optional + optionalSize;
        for (const Section& section : sections) {
            const auto rawSize = static_cast<std::uint32_t>(align(section.data.size(), fileAlignment));
            image.replace(table, std::string(section.name).size(), section.name);
            putAt(image, table + 8, static_cast<std::uint32_t>(section.data.size()));
            putAt(image, table + 12, address);
            putAt(image, table + 16, rawSize);
            putAt(image, table + 20, static_cast<std::uint32_t>(image.size()));
            putAt(image, table + 36, section.characteristics);
            if (std::string(section.name) == ".rsrc") {
                putAt(image, directories() + 16, address);
                putAt(image, directories() + 20, static_cast<std::uint32_t>(section.data.size()));
            }
            if ((section.characteristics & 0x40) != 0) {
                initialized += rawSize;
            }
            image += section.data;
            image.resize(align(image.size(), fileAlignment), '\0');
            address += static_cast<std::uint32_t>(align(section.data.size(), sectionAlignment));
            table += 40;
        }
        putAt(image, optional + 8, initialized);
        putAt(image, optional + 56, address);
        if (!symbols.empty()) {
            putAt(image, fileHeader + 8, static_cast<std::uint32_t>(image.size()));
            image += symbols;
        }
        if (!certificate.empty()) {
            image.resize(align(image.size(), 8), '\0');
            putAt(image, directories() + 32, static_cast<std::uint32_t>(image.size()));
            putAt(image, directories() + 36, static_cast<std::uint32_t>(certificate.size()));
            image += certificate;
        }
        return image;
    }

    static void putAt(std::string& bytes, std::size_t offset, std::uint32_t value) {
        Bytes::setU32(bytes, offset, value);
    }

    static std::size_t align(std::size_t value, std::size_t alignment) {
        return (value + alignment - 1) / alignment * alignment;
    }
};

// An icon, a version block and a manifest, as a launcher carries them.
inline std::vector<Resource> launcherResources(const std::string& version) {
    const std::string manifest =
        "<?xml version=\"1.0\"?>\n<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\">"
        "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges>"
        "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"
        "</requestedPrivileges></security></trustInfo></assembly>\n";
    std::string group;
    Bytes::putU16(group, 0);
    Bytes::putU16(group, 1);
    Bytes::putU16(group, 1);
    group += std::string("\x10\x10\0\0", 4);
    Bytes::putU16(group, 1);
    Bytes::putU16(group, 32);
    Bytes::putU32(group, 48);
    Bytes::putU16(group, 1);
    std::string bitmap;
    Bytes::putU32(bitmap, 40);
    bitmap.resize(48, '\x11');
    return {
        {{ResourceTypes::icon, {}}, {1, {}}, 0x409, bitmap},
        {{ResourceTypes::iconGroup, {}}, {1, {}}, 0x409, group},
        {{ResourceTypes::version, {}}, {1, {}}, 0x409, version},
        {{ResourceTypes::manifest, {}}, {1, {}}, 0x409, manifest},
        {{0, L"CUSTOM"}, {0, L"DATA"}, 0x407, "named"},
    };
}
