#pragma once

// An icon file (.ico) taken apart into the two kinds of resource that show
// an icon in an executable: one image resource per size, and the group
// directory that lists them by resource id.

#include <cstdint>
#include <string>
#include <vector>

struct IconImage {
    unsigned width;   // 1..256
    unsigned height;  // 1..256
    std::uint8_t colourCount;
    std::uint16_t planes;
    std::uint16_t bitCount;
    std::string data;  // a PNG stream or a BITMAPINFOHEADER with its bits
};

class IconFile {
public:
    // Throws VxError<std::runtime_error> saying what is wrong with the file
    // when the bytes are not an icon file with at least one usable image.
    static IconFile parse(const std::string& bytes);

    const std::vector<IconImage>& images() const { return imageList; }

    // The group directory resource, the images numbered from firstId on.
    std::string groupDirectory(std::uint16_t firstId) const;

private:
    std::vector<IconImage> imageList;
};
