#include "PeImage.h"

#include <stdexcept>

#include "Bytes.h"
#include "ErrorHandling.h"

namespace {

constexpr const char* what = "the executable image";
constexpr std::size_t fileHeaderSize = 20;

[[noreturn]] void notAnImage() {
    throwWithPosition(std::runtime_error("Not an executable image"));
}

bool powerOfTwo(std::uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

} // namespace

namespace PeImage {

void throwDamaged() {
    throwWithPosition(std::runtime_error("The executable image is damaged"));
}

DataDirectory Layout::directory(unsigned index) const {
    return index < directoryList.size() ? directoryList[index] : DataDirectory{0, 0};
}

const Section* Layout::sectionAt(std::uint32_t rva) const {
    for (const Section& section : sections) {
        if (rva >= section.address && rva - section.address < section.extent()) {
            return &section;
        }
    }
    return nullptr;
}

std::size_t Layout::offsetOf(std::uint32_t rva, std::uint32_t size) const {
    const Section* section = sectionAt(rva);
    // Bytes past the section's file data exist only in memory, as zeros.
    if (section == nullptr || section->rawSize < size || rva - section->address > section->rawSize - size) {
        throwDamaged();
    }
    return static_cast<std::size_t>(section->rawOffset) + (rva - section->address);
}

Layout readLayout(const std::string& image) {
    if (image.size() < 0x40 || image.compare(0, 2, "MZ") != 0) {
        notAnImage();
    }
    const std::uint32_t pe = Bytes::u32(image, 0x3C, what);
    if (pe > image.size() || image.size() - pe < 4 + fileHeaderSize ||
        image.compare(pe, 4, std::string("PE\0\0", 4)) != 0) {
        notAnImage();
    }
    Layout layout{};
    layout.fileHeader = pe + 4;
    const std::uint16_t sectionCount = Bytes::u16(image, layout.fileHeader + 2, what);
    const std::uint16_t optionalSize = Bytes::u16(image, layout.fileHeader + 16, what);
    layout.optionalHeader = layout.fileHeader + fileHeaderSize;
    const std::uint16_t magic = Bytes::u16(image, layout.optionalHeader, what);
    if (magic != 0x10B && magic != 0x20B) {
        notAnImage();
    }
    // The data directories follow the PE32 or PE32+ fields.
    const std::size_t fixedFields = magic == 0x20B ? 112 : 96;
    if (optionalSize < fixedFields) {
        throwDamaged();
    }
    layout.directories = layout.optionalHeader + fixedFields;
    layout.directoryCount = Bytes::u32(image, layout.directories - 4, what);
    // Only as many directories as the optional header holds count.
    const std::size_t room = (optionalSize - fixedFields) / 8;
    if (layout.directoryCount > room) {
        layout.directoryCount = static_cast<std::uint32_t>(room);
    }
    if (layout.directoryCount > 16) {
        layout.directoryCount = 16;
    }
    layout.sectionAlignment = Bytes::u32(image, layout.optionalHeader + sectionAlignmentField, what);
    layout.fileAlignment = Bytes::u32(image, layout.optionalHeader + fileAlignmentField, what);
    layout.headersSize = Bytes::u32(image, layout.optionalHeader + headersSizeField, what);
    layout.sectionTable = layout.optionalHeader + optionalSize;
    if (sectionCount > maxSections || !powerOfTwo(layout.sectionAlignment) ||
        !powerOfTwo(layout.fileAlignment) || layout.fileAlignment > layout.sectionAlignment ||
        layout.sectionTable + sectionHeaderSize * sectionCount > image.size() ||
        layout.directories + 8u * layout.directoryCount > image.size()) {
        throwDamaged();
    }
    for (std::uint32_t i = 0; i < layout.directoryCount; ++i) {
        layout.directoryList.push_back({Bytes::u32(image, layout.directories + 8 * i, what),
                                        Bytes::u32(image, layout.directories + 8 * i + 4, what)});
    }
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        const std::size_t entry = layout.sectionTable + sectionHeaderSize * i;
        Section section{entry, Bytes::u32(image, entry + 8, what), Bytes::u32(image, entry + 12, what),
                        Bytes::u32(image, entry + 16, what), Bytes::u32(image, entry + 20, what)};
        if (section.rawSize == 0) {
            section.rawOffset = 0;
        } else if (section.rawOffset > image.size() || image.size() - section.rawOffset < section.rawSize) {
            throwDamaged();
        }
        if (0xFFFFFFFFu - section.address < section.virtualSize ||
            0xFFFFFFFFu - section.address < section.rawSize) {
            throwDamaged();
        }
        // The system maps sections in ascending order, each after the one before.
        if (!layout.sections.empty()) {
            const Section& previous = layout.sections.back();
            if (section.address <= previous.address || section.address - previous.address < previous.extent()) {
                throwDamaged();
            }
        }
        layout.sections.push_back(section);
    }
    return layout;
}

std::vector<std::string> exportedNames(const std::string& image) {
    const Layout layout = readLayout(image);
    const DataDirectory exports = layout.directory(exportDirectory);
    if (exports.address == 0 || exports.size == 0) {
        return {};
    }
    const std::size_t table = layout.offsetOf(exports.address, 40);
    const std::uint32_t nameCount = Bytes::u32(image, table + 24, what);
    if (nameCount == 0) {
        return {};
    }
    // Four bytes a name in the table: a count beyond the file cannot be.
    if (nameCount > image.size() / 4) {
        throwDamaged();
    }
    const std::size_t nameTable = layout.offsetOf(Bytes::u32(image, table + 32, what), 4 * nameCount);
    std::vector<std::string> names;
    std::size_t total = 0;
    for (std::uint32_t i = 0; i < nameCount; ++i) {
        const std::uint32_t rva = Bytes::u32(image, nameTable + 4u * i, what);
        const std::size_t name = layout.offsetOf(rva, 1);
        const Section& section = *layout.sectionAt(rva);
        const std::size_t sectionEnd = static_cast<std::size_t>(section.rawOffset) + section.rawSize;
        const std::size_t end = image.find('\0', name);
        if (end == std::string::npos || end >= sectionEnd) {
            throwDamaged();
        }
        total += end - name;
        if (total > image.size()) {
            throwDamaged();
        }
        names.push_back(image.substr(name, end - name));
    }
    return names;
}

} // namespace PeImage
