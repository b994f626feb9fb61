#pragma once

// The requested execution level of an application manifest (UTF-8 XML).

#include <string>

namespace Manifest {

// "asInvoker", "highestAvailable" or "requireAdministrator".
bool isExecutionLevel(const std::string& level);

// The manifest with the level attribute of its requestedExecutionLevel
// element set to level; a manifest without the element gets one in a
// trustInfo block. Throws VxError<std::runtime_error> when the text is not
// a manifest it can change.
std::string withExecutionLevel(const std::string& manifest, const std::string& level);

} // namespace Manifest
