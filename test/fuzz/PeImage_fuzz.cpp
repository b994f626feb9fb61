// Feeds arbitrary bytes to the executable image reader (layout, export
// names, resources) and gives what it accepts to the resource writer: the
// image written must read back with the same resources and a valid
// checksum. Only the readers' and the writer's refusals may be thrown.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "Bytes.h"
#include "ErrorHandling.h"
#include "PeImage.h"
#include "ResourceTree.h"
#include "ResourceWriter.h"

namespace {

// The resources by type, name and language; of the same key the last one,
// as the writer keeps it.
std::map<std::tuple<ResourceKey, ResourceKey, std::uint16_t>, const Resource*> byKey(
    const std::vector<Resource>& resources) {
    std::map<std::tuple<ResourceKey, ResourceKey, std::uint16_t>, const Resource*> keyed;
    for (const Resource& resource : resources) {
        keyed[{resource.type, resource.name, resource.language}] = &resource;
    }
    return keyed;
}

bool same(const std::vector<Resource>& written, const std::vector<Resource>& read) {
    const auto a = byKey(written);
    const auto b = byKey(read);
    if (a.size() != b.size() || b.size() != read.size()) {
        return false;
    }
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
        if (i->first != j->first || i->second->data != j->second->data ||
            i->second->codePage != j->second->codePage) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string image(reinterpret_cast<const char*>(data), size);
    std::vector<Resource> resources;
    try {
        const PeImage::Layout layout = PeImage::readLayout(image);
        std::size_t total = 0;
        for (const std::string& name : PeImage::exportedNames(image)) {
            total += name.size();
        }
        if (total > size) {
            std::abort();
        }
        resources = ResourceTree::read(image, layout);
    } catch (const VxError<std::runtime_error>&) {
        return 0;
    }
    // A resource of our own beside what was there, as branding adds one.
    resources.push_back({{16, {}}, {1, {}}, 0x409, "fuzz", 0});
    std::string written;
    try {
        written = ResourceWriter::replaceResources(image, resources, true);
    } catch (const VxError<std::runtime_error>&) {
        return 0;  // an image the writer will not touch
    }
    const PeImage::Layout layout = PeImage::readLayout(written);
    if (!same(resources, ResourceTree::read(written, layout)) ||
        Bytes::u32(written, layout.optionalHeader + PeImage::checksumField, "image") !=
            ResourceWriter::checksum(written)) {
        std::abort();
    }
    // Written once more from its own output, in place: the same resources.
    const std::string again = ResourceWriter::replaceResources(written, resources, false);
    if (!same(resources, ResourceTree::read(again, PeImage::readLayout(again)))) {
        std::abort();
    }
    return 0;
}
