#include "ResourceWriter.h"

#include <algorithm>
#include <stdexcept>

#include "Bytes.h"
#include "ErrorHandling.h"

namespace {

constexpr const char* what = "the executable image";
// Initialised data, readable.
constexpr std::uint32_t resourceCharacteristics = 0x40000040;
const std::string resourceName(".rsrc\0\0\0", 8);
// The name the old resource section takes when a new one follows it, so
// that tools looking up ".rsrc" by name find the one in use.
const std::string replacedName(".rsrcold", 8);

[[noreturn]] void refuse(const std::string& why) {
    throwWithPosition(std::runtime_error("Cannot rewrite the resources of this image: " + why));
}

std::uint64_t alignUp(std::uint64_t value, std::uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

} // namespace

namespace ResourceWriter {

bool isSigned(const std::string& image) {
    return PeImage::readLayout(image).directory(PeImage::certificateDirectory).size != 0;
}

std::uint32_t checksum(const std::string& image) {
    const PeImage::Layout layout = PeImage::readLayout(image);
    const std::size_t field = layout.optionalHeader + PeImage::checksumField;
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < image.size(); i += 2) {
        if (i == field || i == field + 2) {
            continue;
        }
        std::uint32_t word = static_cast<unsigned char>(image[i]);
        if (i + 1 < image.size()) {
            word |= static_cast<std::uint32_t>(static_cast<unsigned char>(image[i + 1])) << 8;
        }
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + image.size());
}

std::string replaceResources(const std::string& image, const std::vector<Resource>& resources,
                             bool dropSignature) {
    const PeImage::Layout layout = PeImage::readLayout(image);
    std::string out = image;

    const PeImage::DataDirectory certificates = layout.directory(PeImage::certificateDirectory);
    if (certificates.size != 0) {
        if (!dropSignature) {
            refuse("it is signed");
        }
        // The table is not mapped: it is the file's tail, from a file offset.
        if (certificates.address > out.size() || out.size() - certificates.address != certificates.size) {
            refuse("its signature is not at the end of the file");
        }
        out.resize(certificates.address);
        Bytes::setU32(out, layout.directories + 8 * PeImage::certificateDirectory, 0);
        Bytes::setU32(out, layout.directories + 8 * PeImage::certificateDirectory + 4, 0);
    }
    if (layout.directoryCount <= PeImage::resourceDirectory) {
        refuse("its header has no entry for resources");
    }

    const PeImage::DataDirectory oldDirectory = layout.directory(PeImage::resourceDirectory);
    const PeImage::Section* old = nullptr;
    if (oldDirectory.address != 0) {
        old = layout.sectionAt(oldDirectory.address);
        if (old == nullptr) {
            PeImage::throwDamaged();
        }
    }
    const PeImage::Section* last = nullptr;
    std::uint64_t addressEnd = 0;
    std::uint64_t rawEnd = 0;
    for (const PeImage::Section& section : layout.sections) {
        if (last == nullptr || section.address > last->address) {
            last = &section;
        }
        // An empty section still takes its address.
        addressEnd = std::max<std::uint64_t>(addressEnd,
                                             std::uint64_t{section.address} + std::max<std::uint32_t>(section.extent(), 1));
        rawEnd = std::max<std::uint64_t>(rawEnd, std::uint64_t{section.rawOffset} + section.rawSize);
    }
    if (last == nullptr) {
        refuse("it has no sections");
    }
    // The old section is used again when it holds the resources alone and
    // nothing follows it in memory.
    const bool reuse = old == last && oldDirectory.address == old->address;
    // A symbol table right after the sections' data (an image that was not
    // stripped) moves behind the new data, so that no gap opens in the file.
    const std::size_t symbolField = layout.fileHeader + 8;
    std::string symbols;
    if (rawEnd < out.size() && Bytes::u32(out, symbolField, what) == rawEnd) {
        symbols = out.substr(static_cast<std::size_t>(rawEnd));
        out.resize(static_cast<std::size_t>(rawEnd));
    }

    std::size_t header = 0;
    std::uint32_t address = 0;
    std::uint64_t rawOffset = alignUp(out.size(), layout.fileAlignment);
    std::uint32_t replacedRawSize = 0;
    std::size_t sectionCount = layout.sections.size();
    if (reuse) {
        header = old->header;
        address = old->address;
        replacedRawSize = old->rawSize;
        // Where its file data is the end of the file, the new data takes its place.
        if (old->rawSize != 0 && std::uint64_t{old->rawOffset} + old->rawSize == out.size() &&
            std::uint64_t{old->rawOffset} + old->rawSize == rawEnd) {
            rawOffset = old->rawOffset;
        }
    } else {
        header = layout.sectionTable + PeImage::sectionHeaderSize * layout.sections.size();
        std::uint64_t firstData = layout.headersSize;
        for (const PeImage::Section& section : layout.sections) {
            if (section.rawSize != 0) {
                firstData = std::min<std::uint64_t>(firstData, section.rawOffset);
            }
        }
        if (layout.sections.size() >= PeImage::maxSections ||
            header + PeImage::sectionHeaderSize > firstData || header + PeImage::sectionHeaderSize > out.size() ||
            out.find_first_not_of('\0', header) < header + PeImage::sectionHeaderSize) {
            refuse("there is no room for another section header");
        }
        // After every section and never over the headers, which are mapped first.
        const std::uint64_t start = std::max(alignUp(addressEnd, layout.sectionAlignment),
                                             alignUp(std::max<std::uint32_t>(layout.headersSize, 1),
                                                     layout.sectionAlignment));
        address = static_cast<std::uint32_t>(std::min<std::uint64_t>(start, 0xFFFFFFFF));
        ++sectionCount;
        if (old != nullptr && oldDirectory.address == old->address) {
            out.replace(old->header, 8, replacedName);
        }
    }

    const std::string section = ResourceTree::build(resources, address);
    const std::uint64_t rawSize = alignUp(section.size(), layout.fileAlignment);
    const std::uint64_t virtualEnd = alignUp(std::uint64_t{address} + section.size(), layout.sectionAlignment);
    if (virtualEnd > 0xFFFFFFFF || rawOffset + rawSize > 0xFFFFFFFF) {
        refuse("it would grow past 4 GB");
    }
    out.resize(static_cast<std::size_t>(rawOffset), '\0');
    out += section;
    out.append(static_cast<std::size_t>(rawSize - section.size()), '\0');
    if (!symbols.empty()) {
        Bytes::setU32(out, symbolField, static_cast<std::uint32_t>(out.size()));
        out += symbols;
    }

    out.replace(header, 8, resourceName);
    Bytes::setU32(out, header + 8, static_cast<std::uint32_t>(section.size()));
    Bytes::setU32(out, header + 12, address);
    Bytes::setU32(out, header + 16, static_cast<std::uint32_t>(rawSize));
    Bytes::setU32(out, header + 20, static_cast<std::uint32_t>(rawOffset));
    if (!reuse) {
        out.replace(header + 24, 12, 12, '\0');
        Bytes::setU32(out, header + 36, resourceCharacteristics);
    }
    Bytes::setU16(out, layout.fileHeader + 2, static_cast<std::uint16_t>(sectionCount));

    std::uint64_t imageEnd = virtualEnd;
    for (const PeImage::Section& other : layout.sections) {
        if (!(reuse && &other == old)) {
            imageEnd = std::max(imageEnd, alignUp(std::uint64_t{other.address} + other.extent(),
                                                  layout.sectionAlignment));
        }
    }
    const std::size_t optional = layout.optionalHeader;
    Bytes::setU32(out, optional + PeImage::imageSizeField, static_cast<std::uint32_t>(imageEnd));
    const std::uint32_t initialized = Bytes::u32(out, optional + PeImage::initializedDataField, what);
    Bytes::setU32(out, optional + PeImage::initializedDataField,
           static_cast<std::uint32_t>(initialized - replacedRawSize + rawSize));
    Bytes::setU32(out, layout.directories + 8 * PeImage::resourceDirectory, address);
    Bytes::setU32(out, layout.directories + 8 * PeImage::resourceDirectory + 4, static_cast<std::uint32_t>(section.size()));
    Bytes::setU32(out, optional + PeImage::checksumField, checksum(out));
    return out;
}

} // namespace ResourceWriter
