// The Windows half of opening a file for reading.

#include "FileUtils.h"

#include <share.h>
#include <utility>

#include "ScopedResource.h"

namespace FileUtils {

std::unique_ptr<InputFile> openInputFile(const WideString& path) {
    // Read through the runtime's text mode ("rt"): CR LF is read as LF, a
    // lone CR stays, and byte 0x1A ends the file.
    ScopedFile file(_wfsopen(path.c_str(), L"rt", _SH_DENYNO));
    if (!file) {
        return nullptr;
    }
    return std::make_unique<InputFile>(std::move(file));
}

} // namespace FileUtils
