#include "PeImage.h"

#include <cstdint>
#include <stdexcept>

#include "Bytes.h"
#include "ErrorHandling.h"

namespace {

constexpr const char* what = "the executable image";

struct Sections {
    const std::string& image;
    std::size_t table;
    std::uint16_t count;

    // File offset of an address relative to the image base.
    std::size_t offsetOf(std::uint32_t rva) const {
        for (std::uint16_t i = 0; i < count; ++i) {
            const std::size_t entry = table + 40u * i;
            const std::uint32_t virtualSize = Bytes::u32(image, entry + 8, what);
            const std::uint32_t address = Bytes::u32(image, entry + 12, what);
            const std::uint32_t rawSize = Bytes::u32(image, entry + 16, what);
            const std::uint32_t rawOffset = Bytes::u32(image, entry + 20, what);
            const std::uint32_t extent = virtualSize > rawSize ? virtualSize : rawSize;
            if (rva >= address && rva - address < extent) {
                return rawOffset + (rva - address);
            }
        }
        throwWithPosition(std::runtime_error("The executable image is damaged"));
    }
};

} // namespace

namespace PeImage {

std::vector<std::string> exportedNames(const std::string& image) {
    if (image.size() < 0x40 || image.compare(0, 2, "MZ") != 0) {
        throwWithPosition(std::runtime_error("Not an executable image"));
    }
    const std::uint32_t pe = Bytes::u32(image, 0x3C, what);
    if (pe > image.size() || image.compare(pe, 4, std::string("PE\0\0", 4)) != 0) {
        throwWithPosition(std::runtime_error("Not an executable image"));
    }
    const std::uint16_t sectionCount = Bytes::u16(image, pe + 6, what);
    const std::uint16_t optionalSize = Bytes::u16(image, pe + 20, what);
    const std::size_t optional = pe + 24;
    const std::uint16_t magic = Bytes::u16(image, optional, what);
    // The data directories follow the PE32 or PE32+ optional header.
    const std::size_t directories = optional + (magic == 0x20B ? 112 : 96);
    const std::uint32_t directoryCount = Bytes::u32(image, directories - 4, what);
    if (directoryCount == 0) {
        return {};
    }
    const std::uint32_t exportRva = Bytes::u32(image, directories, what);
    const std::uint32_t exportSize = Bytes::u32(image, directories + 4, what);
    if (exportRva == 0 || exportSize == 0) {
        return {};
    }
    const Sections sections{image, optional + optionalSize, sectionCount};
    const std::size_t exports = sections.offsetOf(exportRva);
    const std::uint32_t nameCount = Bytes::u32(image, exports + 24, what);
    const std::size_t nameTable = sections.offsetOf(Bytes::u32(image, exports + 32, what));
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < nameCount; ++i) {
        const std::size_t name = sections.offsetOf(Bytes::u32(image, nameTable + 4u * i, what));
        const std::size_t end = image.find('\0', name);
        if (end == std::string::npos) {
            throwWithPosition(std::runtime_error("The executable image is damaged"));
        }
        names.push_back(image.substr(name, end - name));
    }
    return names;
}

} // namespace PeImage
