// Feeds arbitrary bytes to the icon file reader. Only its refusal may be
// thrown, and what it accepts holds no more image bytes than the file.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "ErrorHandling.h"
#include "IconFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        const IconFile icon = IconFile::parse(bytes);
        std::size_t total = 0;
        for (const IconImage& image : icon.images()) {
            if (image.width == 0 || image.width > 256 || image.height == 0 || image.height > 256) {
                std::abort();
            }
            total += image.data.size();
        }
        if (total > size || icon.groupDirectory(1).size() != 6 + 14 * icon.images().size()) {
            std::abort();
        }
    } catch (const VxError<std::runtime_error>&) {
        // Not a usable icon file.
    }
    return 0;
}
