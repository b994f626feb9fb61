// The Windows half of opening a file for reading.

#include "FileUtils.h"

#include <cerrno>
#include <cstdio>
#include <share.h>
#include <utility>

#include "ScopedResource.h"

namespace {

// Read through the runtime's text mode ("rt"): CR LF is read as LF, a lone
// CR stays, and byte 0x1A ends the file.
class RuntimeInputFile : public FileUtils::InputFile {
public:
    explicit RuntimeInputFile(ScopedFile file) : file(std::move(file)) {}

protected:
    long readBytes(char* buffer, std::size_t size) override {
        const std::size_t count = std::fread(buffer, 1, size, file.get());
        if (count == 0 && std::ferror(file.get())) {
            return -1;
        }
        return static_cast<long>(count);
    }

private:
    ScopedFile file;
};

} // namespace

namespace FileUtils {

std::unique_ptr<InputFile> openInputFile(const WideString& path) {
    ScopedFile file(_wfsopen(path.c_str(), L"rt", _SH_DENYNO));
    if (!file) {
        return nullptr;
    }
    return std::make_unique<RuntimeInputFile>(std::move(file));
}

} // namespace FileUtils
