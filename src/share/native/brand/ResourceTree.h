#pragma once

// The resources of an executable image: read out of its resource directory
// (type, name, language) and laid out again as a new resource section.

#include <cstdint>
#include <string>
#include <vector>

#include "PeImage.h"
#include "tstrings.h"

// A resource type or name: an integer id, or a text when id is 0.
struct ResourceKey {
    std::uint16_t id = 0;
    WideString text;

    bool operator==(const ResourceKey& other) const { return id == other.id && text == other.text; }
    // The order of the directory: texts first, by code unit, then ids.
    bool operator<(const ResourceKey& other) const;
};

struct Resource {
    ResourceKey type;
    ResourceKey name;
    std::uint16_t language = 0;
    std::string data;
    std::uint32_t codePage = 0;
};

namespace ResourceTypes {
constexpr std::uint16_t icon = 3;
constexpr std::uint16_t iconGroup = 14;
constexpr std::uint16_t version = 16;
constexpr std::uint16_t manifest = 24;
} // namespace ResourceTypes

namespace ResourceTree {

// Every resource of the image, in directory order. Each directory and data
// entry may be reached only once, and the data together can be no larger
// than the image. Throws VxError<std::runtime_error> ("The executable image
// is damaged") otherwise.
std::vector<Resource> read(const std::string& image, const PeImage::Layout& layout);

// The resource section for the given resources placed at rva: the
// directories, the names, the data entries, then the data. Resources with
// the same type, name and language: the last one counts. No time stamps, so
// the same resources give the same bytes.
std::string build(const std::vector<Resource>& resources, std::uint32_t rva);

} // namespace ResourceTree
