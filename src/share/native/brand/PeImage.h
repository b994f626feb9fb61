#pragma once

// The layout of an executable image (PE32 or PE32+) held in bytes: its
// headers, its section table and its data directories, read with every
// count, offset and size checked against the bytes themselves.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace PeImage {

// Data directory indexes.
constexpr unsigned exportDirectory = 0;
constexpr unsigned resourceDirectory = 2;
constexpr unsigned certificateDirectory = 4;

// Offsets in the optional header, the same in PE32 and PE32+.
constexpr std::size_t initializedDataField = 8;
constexpr std::size_t sectionAlignmentField = 32;
constexpr std::size_t fileAlignmentField = 36;
constexpr std::size_t imageSizeField = 56;
constexpr std::size_t headersSizeField = 60;
constexpr std::size_t checksumField = 64;

constexpr std::size_t sectionHeaderSize = 40;
// The most sections the system loads.
constexpr std::uint16_t maxSections = 96;

struct Section {
    std::size_t header;  // file offset of its entry in the section table
    std::uint32_t virtualSize;
    std::uint32_t address;
    std::uint32_t rawSize;
    std::uint32_t rawOffset;

    // How much address space it takes (a section may give only its file size).
    std::uint32_t extent() const { return virtualSize != 0 ? virtualSize : rawSize; }
};

struct DataDirectory {
    std::uint32_t address;  // an RVA; a file offset for the certificate table
    std::uint32_t size;
};

struct Layout {
    std::size_t fileHeader;  // after "PE\0\0"
    std::size_t optionalHeader;
    std::size_t sectionTable;
    std::uint32_t sectionAlignment;
    std::uint32_t fileAlignment;
    std::uint32_t headersSize;
    std::size_t directories;  // file offset of the first data directory
    std::uint32_t directoryCount;
    std::vector<Section> sections;
    std::vector<DataDirectory> directoryList;

    // {0, 0} when the image has no such directory.
    DataDirectory directory(unsigned index) const;
    // The file offset of size bytes at rva, which must lie in the file data
    // of one section. Throws VxError<std::runtime_error> otherwise.
    std::size_t offsetOf(std::uint32_t rva, std::uint32_t size) const;
    // The section whose address range holds rva, or nullptr.
    const Section* sectionAt(std::uint32_t rva) const;
};

// Throws VxError<std::runtime_error>: "Not an executable image" when the
// bytes do not start like one, "The executable image is damaged" when a
// header, the section table or a directory does not fit.
Layout readLayout(const std::string& image);

// The export names; empty when the image exports nothing. The name table
// and every name must lie in the file, and the names together can be no
// longer than the file.
std::vector<std::string> exportedNames(const std::string& image);

[[noreturn]] void throwDamaged();

} // namespace PeImage
