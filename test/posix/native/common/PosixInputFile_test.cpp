// Opening a file for reading on POSIX: only regular files are read.

#include "FileUtils.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

#include "TempDir.h"

namespace {

TEST(PosixInputFile, AFifoIsRefusedWithoutBlocking) {
    TempDir dir;
    const std::filesystem::path fifo = dir.path() / "options.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // No writer ever opens the FIFO: a blocking open would never return.
    errno = 0;
    EXPECT_EQ(FileUtils::openInputFile(fifo.wstring()), nullptr);
    EXPECT_EQ(errno, EINVAL);
}

TEST(PosixInputFile, ARegularFileIsReadAndAMissingOneKeepsItsErrno) {
    TempDir dir;
    const std::filesystem::path file = dir.path() / "a.cfg";
    FILE* out = std::fopen(file.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fputs("[Application]\r\nline\n", out);
    std::fclose(out);
    const auto input = FileUtils::openInputFile(file.wstring());
    ASSERT_NE(input, nullptr);
    std::string line;
    ASSERT_TRUE(input->readLine(line));
    EXPECT_EQ(line, "[Application]");

    errno = 0;
    EXPECT_EQ(FileUtils::openInputFile((dir.path() / "missing.cfg").wstring()), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

} // namespace
