// The Windows half of opening a file for reading.

#include "FileUtils.h"

#include <cerrno>
#include <cstdio>
#include <share.h>

namespace {

// Read through the runtime's text mode ("rt"): CR LF is read as LF, a lone
// CR stays, and byte 0x1A ends the file.
class RuntimeInputFile : public FileUtils::InputFile {
public:
    explicit RuntimeInputFile(FILE* file) : file(file) {}
    ~RuntimeInputFile() override { std::fclose(file); }

protected:
    long readBytes(char* buffer, std::size_t size) override {
        const std::size_t count = std::fread(buffer, 1, size, file);
        if (count == 0 && std::ferror(file)) {
            return -1;
        }
        return static_cast<long>(count);
    }

private:
    FILE* file;
};

} // namespace

namespace FileUtils {

std::unique_ptr<InputFile> openInputFile(const WideString& path) {
    FILE* const file = _wfsopen(path.c_str(), L"rt", _SH_DENYNO);
    if (!file) {
        return nullptr;
    }
    return std::make_unique<RuntimeInputFile>(file);
}

} // namespace FileUtils
