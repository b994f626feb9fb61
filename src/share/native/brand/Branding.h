#pragma once

// Sets the icon, the version numbers and strings, and the requested
// execution level of a copied launcher. Everything given is checked and the
// new image is made in memory before the file system is touched; it is
// written to a new file beside the target, which replaces the target only
// when it is complete, so a failure leaves the target as it was.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "IconFile.h"
#include "VersionBlock.h"
#include "tstrings.h"

struct BrandRequest {
    WideString target;
    std::optional<WideString> iconFile;
    std::optional<VersionNumber> fileVersion;
    std::optional<VersionNumber> productVersion;
    // Version resource keys ("ProductName", ...) and their new values.
    std::vector<std::pair<WideString, WideString>> strings;
    // "asInvoker", "highestAvailable" or "requireAdministrator".
    std::optional<std::string> executionLevel;
    bool stripSignature = false;
};

// The export that marks an executable as one of our launchers.
constexpr const char* launcherMarkExport = "jvmLauncherGetAPI";

// The branded image of the launcher held in bytes. Throws
// VxError<std::runtime_error> when it is not a launcher, is signed (unless
// the request strips the signature), or cannot be rewritten safely, and
// when the version resource would be too large.
std::string brandImage(const std::string& image, const BrandRequest& request, const IconFile* icon);

// Brands the target file. Throws VxError<std::runtime_error> or
// VxError<SysError> on every failure.
void brand(const BrandRequest& request);
