#include <gtest/gtest.h>

#include "FileUtils.h"
#include "TestFixture.h"

namespace {

WideString currentDirectory() {
    WideString buffer(32768, L'\0');
    buffer.resize(GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), &buffer[0]));
    return buffer;
}

TEST(WinFileUtils, PathExistsForFilesAndDirectories) {
    const WideString binary = testfixture::testBinaryPath();
    const WideString directory = testfixture::testBinaryDirectory();
    EXPECT_TRUE(FileUtils::pathExists(binary));
    EXPECT_TRUE(FileUtils::pathExists(directory));
    EXPECT_TRUE(FileUtils::pathExists(directory + L"\\"));
    EXPECT_TRUE(FileUtils::pathExists(L"."));
    EXPECT_FALSE(FileUtils::pathExists(directory + L"\\no-such-file.cfg"));
    EXPECT_FALSE(FileUtils::pathExists(L""));
    EXPECT_FALSE(FileUtils::pathExists(L"C:\\bad\x01name|?"));
}

TEST(WinFileUtils, ToAbsolutePathResolvesAgainstTheCurrentDirectory) {
    const WideString cwd = currentDirectory();
    EXPECT_EQ(FileUtils::toAbsolutePath(L""), cwd);

    const struct {
        const wchar_t* input;
        WideString expected;
    } cases[] = {
        {L"b\\c.txt", FileUtils::joinPath(cwd, L"b\\c.txt")},
        {L"a\\..\\b\\.\\c.txt", FileUtils::joinPath(cwd, L"b\\c.txt")},
        {L"C:\\x\\.\\y\\..\\z", L"C:\\x\\z"},
        {L"C:/x/y", L"C:\\x\\y"},
        // The path need not exist.
        {L"C:\\no-such-dir\\..\\no-such-file", L"C:\\no-such-file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(tstrings::wideToUtf8(c.input));
        EXPECT_EQ(FileUtils::toAbsolutePath(c.input), c.expected);
    }
}

TEST(WinFileUtils, IsAbsolutePathOnlyForPathsIndependentOfTheCurrentDirectory) {
    const struct {
        const wchar_t* path;
        bool absolute;
    } cases[] = {
        {L"C:\\Apps", true},    {L"c:/apps", true},        {L"\\\\server\\share", true},
        {L"\\\\?\\C:\\x", true}, {L"//server/share", true}, {L"runtime", false},
        {L"runtime\\bin", false}, {L".\\runtime", false},    {L"..\\jre", false},
        {L"\\jre", false},        {L"C:jre", false},          {L"C:", false},
        {L"", false},             {L"1:\\x", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(tstrings::wideToUtf8(c.path));
        EXPECT_EQ(FileUtils::isAbsolutePath(c.path), c.absolute);
    }
}

TEST(WinFileUtils, ToAbsolutePathKeepsLongPathsWhole) {
    WideString longPath = L"C:\\vx";
    while (longPath.size() < 400) {
        longPath += L"\\component-of-a-long-path";
    }
    EXPECT_EQ(FileUtils::toAbsolutePath(longPath + L"\\.\\x\\..\\end.exe"), longPath + L"\\end.exe");
}

} // namespace
