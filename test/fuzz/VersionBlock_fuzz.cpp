// Feeds arbitrary bytes to the version resource reader, writes what it
// read and reads that again: the second reading must give the same block,
// and writing it once more the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "ErrorHandling.h"
#include "VersionBlock.h"

namespace {

bool same(const VersionBlock& a, const VersionBlock& b) {
    return a.fixedInfo == b.fixedInfo && a.fileVersion == b.fileVersion &&
           a.productVersion == b.productVersion && a.tableKey == b.tableKey && a.strings == b.strings &&
           a.translation == b.translation;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    VersionBlock block;
    try {
        block = VersionBlock::parse(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const VxError<std::runtime_error>&) {
        return 0;  // not a version resource
    }
    std::string written;
    try {
        written = block.serialize();
    } catch (const VxError<std::runtime_error>&) {
        return 0;  // too large to write again: refused, never wrapped
    }
    const VersionBlock again = VersionBlock::parse(written);
    // Strings whose value holds a zero unit are cut there when read.
    for (const auto& entry : block.strings) {
        if (entry.first.find(L'\0') != WideString::npos || entry.second.find(L'\0') != WideString::npos) {
            return 0;
        }
    }
    if (!same(block, again) || again.serialize() != written) {
        std::abort();
    }
    return 0;
}
