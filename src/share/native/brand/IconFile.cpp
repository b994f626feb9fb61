#include "IconFile.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "Bytes.h"
#include "ErrorHandling.h"

namespace {

const char pngSignature[] = "\x89PNG\r\n\x1a\n";
constexpr std::size_t headerSize = 6;
constexpr std::size_t entrySize = 16;
constexpr std::size_t bitmapHeaderSize = 40;

[[noreturn]] void fail(const std::string& what) {
    throwWithPosition(std::runtime_error("Not a usable icon file: " + what));
}

struct Extent {
    std::uint32_t offset;
    std::uint32_t size;
    std::uint16_t index;

    bool operator<(const Extent& other) const { return offset < other.offset; }
};

} // namespace

IconFile IconFile::parse(const std::string& bytes) {
    if (bytes.size() < headerSize || Bytes::u16(bytes, 0, "the header") != 0 ||
        Bytes::u16(bytes, 2, "the header") != 1) {
        fail("it does not start with an icon file header");
    }
    const std::uint16_t count = Bytes::u16(bytes, 4, "the header");
    if (count == 0) {
        fail("it holds no image");
    }
    const std::size_t directoryEnd = headerSize + entrySize * count;
    if (bytes.size() < directoryEnd) {
        fail("the directory of its " + std::to_string(count) + " images is cut short");
    }

    // Every image must lie in the file after the directory and have bytes
    // of its own, checked before anything is copied: entries that all name
    // one image would make the resources many times larger than the file.
    std::vector<Extent> extents;
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::size_t entry = headerSize + entrySize * i;
        const std::uint32_t size = Bytes::u32(bytes, entry + 8, "the directory");
        const std::uint32_t offset = Bytes::u32(bytes, entry + 12, "the directory");
        if (size == 0 || offset < directoryEnd || offset > bytes.size() || bytes.size() - offset < size) {
            fail("image " + std::to_string(i + 1) + " lies outside the file");
        }
        extents.push_back({offset, size, i});
    }
    std::stable_sort(extents.begin(), extents.end());
    for (std::size_t j = 1; j < extents.size(); ++j) {
        if (extents[j].offset - extents[j - 1].offset < extents[j - 1].size) {
            fail("image " + std::to_string(std::max(extents[j - 1].index, extents[j].index) + 1) +
                 " shares its bytes with another image");
        }
    }

    IconFile icon;
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::size_t entry = headerSize + entrySize * i;
        IconImage image;
        // A width or height of 0 stands for 256.
        const auto width = static_cast<unsigned char>(bytes[entry]);
        const auto height = static_cast<unsigned char>(bytes[entry + 1]);
        image.width = width == 0 ? 256 : width;
        image.height = height == 0 ? 256 : height;
        image.colourCount = static_cast<std::uint8_t>(bytes[entry + 2]);
        image.planes = Bytes::u16(bytes, entry + 4, "the directory");
        image.bitCount = Bytes::u16(bytes, entry + 6, "the directory");
        const std::uint32_t size = Bytes::u32(bytes, entry + 8, "the directory");
        image.data = bytes.substr(Bytes::u32(bytes, entry + 12, "the directory"), size);
        const bool png = image.data.compare(0, 8, pngSignature, 8) == 0;
        if (!png && (size < bitmapHeaderSize ||
                     Bytes::u32(image.data, 0, "the bitmap header") != bitmapHeaderSize)) {
            fail("image " + std::to_string(i + 1) + " is neither a PNG image nor a bitmap");
        }
        icon.imageList.push_back(std::move(image));
    }
    return icon;
}

std::string IconFile::groupDirectory(std::uint16_t firstId) const {
    std::string out;
    Bytes::putU16(out, 0);
    Bytes::putU16(out, 1);
    Bytes::putU16(out, static_cast<std::uint16_t>(imageList.size()));
    std::uint16_t id = firstId;
    for (const IconImage& image : imageList) {
        out += static_cast<char>(image.width % 256);
        out += static_cast<char>(image.height % 256);
        out += static_cast<char>(image.colourCount);
        out += '\0';
        Bytes::putU16(out, image.planes);
        Bytes::putU16(out, image.bitCount);
        Bytes::putU32(out, static_cast<std::uint32_t>(image.data.size()));
        Bytes::putU16(out, id++);
    }
    return out;
}
