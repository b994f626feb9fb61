#pragma once

// The little of an executable image's layout that branding looks at: the
// names it exports.

#include <string>
#include <vector>

namespace PeImage {

// The export names of a PE image held in bytes; empty when it exports
// nothing. Throws VxError<std::runtime_error> when the bytes are not a PE
// image.
std::vector<std::string> exportedNames(const std::string& image);

} // namespace PeImage
