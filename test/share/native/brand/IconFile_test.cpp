#include <gtest/gtest.h>

#include <stdexcept>

#include "Bytes.h"
#include "ErrorHandling.h"
#include "IconFile.h"

namespace {

const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + "rest of a png";

// An icon file with one directory entry per image, the images in order
// after the directory.
std::string iconFile(const std::vector<std::pair<unsigned, std::string>>& images) {
    std::string out;
    Bytes::putU16(out, 0);
    Bytes::putU16(out, 1);
    Bytes::putU16(out, static_cast<std::uint16_t>(images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (const auto& [size, data] : images) {
        out += static_cast<char>(size % 256);
        out += static_cast<char>(size % 256);
        out += std::string(2, '\0');
        Bytes::putU16(out, 1);
        Bytes::putU16(out, 32);
        Bytes::putU32(out, static_cast<std::uint32_t>(data.size()));
        Bytes::putU32(out, offset);
        offset += static_cast<std::uint32_t>(data.size());
    }
    for (const auto& image : images) {
        out += image.second;
    }
    return out;
}

TEST(IconFileTest, ImagesAndGroupDirectory) {
    std::string bitmap;
    Bytes::putU32(bitmap, 40);
    bitmap += std::string(60, '\x7f');
    const IconFile icon = IconFile::parse(iconFile({{16, bitmap}, {256, png}}));
    ASSERT_EQ(icon.images().size(), 2u);
    EXPECT_EQ(icon.images()[0].width, 16u);
    EXPECT_EQ(icon.images()[1].width, 256u);
    EXPECT_EQ(icon.images()[1].data, png);

    // GRPICONDIR: the 16-byte file entries become 14-byte entries whose last
    // word is the resource id.
    const std::string group = icon.groupDirectory(5);
    ASSERT_EQ(group.size(), 6u + 2 * 14);
    EXPECT_EQ(Bytes::u16(group, 4, "group"), 2);
    EXPECT_EQ(group[6 + 14], '\0');  // 256 is written as 0
    EXPECT_EQ(Bytes::u32(group, 6 + 14 + 8, "group"), png.size());
    EXPECT_EQ(Bytes::u16(group, 6 + 12, "group"), 5);
    EXPECT_EQ(Bytes::u16(group, 6 + 14 + 12, "group"), 6);
}

TEST(IconFileTest, Refusals) {
    std::string outside = iconFile({{32, png}});
    outside.resize(outside.size() - 1);
    std::string farOffset = iconFile({{32, png}});
    farOffset[18] = static_cast<char>(0xF0);
    farOffset[19] = static_cast<char>(0xFF);
    farOffset[20] = static_cast<char>(0xFF);
    farOffset[21] = static_cast<char>(0x7F);
    const struct {
        const char* label;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"empty", "", "it does not start with an icon file header"},
        {"a cursor file", std::string("\0\0\2\0\1\0", 6), "it does not start with an icon file header"},
        {"no image", std::string("\0\0\1\0\0\0", 6), "it holds no image"},
        {"directory cut short", std::string("\0\0\1\0\2\0", 6) + std::string(20, '\x10'),
         "the directory of its 2 images is cut short"},
        {"image past the end", outside, "image 1 lies outside the file"},
        {"offset far outside", farOffset, "image 1 lies outside the file"},
        {"neither PNG nor bitmap", iconFile({{32, png}, {48, std::string(64, 'x')}}),
         "image 2 is neither a PNG image nor a bitmap"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        try {
            IconFile::parse(c.bytes);
            ADD_FAILURE() << "accepted";
        } catch (const VxError<std::runtime_error>& error) {
            EXPECT_EQ(std::string(error.plainMessage()), std::string("Not a usable icon file: ") + c.message);
        }
    }
}

// 4,096 entries that all name one 64 KiB image, in a 128 KiB file: taken
// as they stand, the images would be 256 MiB, and the resources made of
// them more again. Each image must have bytes of its own.
TEST(IconFileTest, EntriesSharingAnImage) {
    std::string bitmap;
    Bytes::putU32(bitmap, 40);
    bitmap.resize(64 * 1024, 'b');
    const std::uint32_t count = 4096;
    std::string file("\0\0\1\0", 4);
    Bytes::putU16(file, static_cast<std::uint16_t>(count));
    for (std::uint32_t i = 0; i < count; ++i) {
        file += std::string("\x40\x40\0\0", 4);
        Bytes::putU16(file, 1);
        Bytes::putU16(file, 32);
        Bytes::putU32(file, static_cast<std::uint32_t>(bitmap.size()));
        Bytes::putU32(file, 6 + 16 * count);
    }
    file += bitmap;
    ASSERT_LE(file.size(), 132u * 1024);
    try {
        IconFile::parse(file);
        ADD_FAILURE() << "accepted";
    } catch (const VxError<std::runtime_error>& error) {
        EXPECT_EQ(std::string(error.plainMessage()),
                  "Not a usable icon file: image 2 shares its bytes with another image");
    }
    // Images that touch without sharing a byte are fine.
    std::string two("\0\0\1\0\2\0", 6);
    for (std::uint32_t i = 0; i < 2; ++i) {
        two += std::string("\x10\x10\0\0", 4);
        Bytes::putU16(two, 1);
        Bytes::putU16(two, 32);
        Bytes::putU32(two, 40);
        Bytes::putU32(two, 38 + 40 * i);
    }
    for (int i = 0; i < 2; ++i) {
        Bytes::putU32(two, 40);
        two.resize(two.size() + 36, 'x');
    }
    EXPECT_EQ(IconFile::parse(two).images().size(), 2u);
}

} // namespace
