#pragma once

// Sets the icon, the version numbers and the version strings of a copied
// launcher. Everything given is checked before the target is touched; the
// target is changed through a copy that replaces it only when every update
// succeeded, so a failure leaves it as it was.

#include <optional>
#include <utility>
#include <vector>

#include "VersionBlock.h"
#include "tstrings.h"

struct BrandRequest {
    WideString target;
    std::optional<WideString> iconFile;
    std::optional<VersionNumber> fileVersion;
    std::optional<VersionNumber> productVersion;
    // Version resource keys ("ProductName", ...) and their new values.
    std::vector<std::pair<WideString, WideString>> strings;
};

// The export that marks an executable as one of our launchers.
constexpr const char* launcherMarkExport = "jvmLauncherGetAPI";

// Throws VxError<std::runtime_error> or VxError<SysError> on every failure.
void brand(const BrandRequest& request);
