#pragma once

// Writes a new resource section into an executable image held in bytes.
//
// The resources go into one section at the end of the image: the old
// resource section is rewritten where it is when it is the last one;
// otherwise it stays where it is, unused and renamed, and a new ".rsrc"
// section follows every other (sections before the end cannot grow without
// moving code and data that refer to each other's addresses). A symbol
// table after the sections' data moves behind the new data. The section table, the image size, the size of
// initialised data, the resource directory and the checksum are updated;
// nothing else of the image moves. The same input gives the same bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "ResourceTree.h"

namespace ResourceWriter {

// Whether the image carries a certificate table (a signature).
bool isSigned(const std::string& image);

// The image with the resources as its whole resource directory. A
// signature is removed when dropSignature is true; without it a signed
// image is refused. Throws VxError<std::runtime_error> saying why when the
// image cannot be rewritten safely.
std::string replaceResources(const std::string& image, const std::vector<Resource>& resources,
                             bool dropSignature);

// The image checksum of the optional header, computed as the system's
// loader checks it (the checksum field itself counts as zero).
std::uint32_t checksum(const std::string& image);

} // namespace ResourceWriter
