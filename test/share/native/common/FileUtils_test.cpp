#include <gtest/gtest.h>

#include "FileUtils.h"
#include "Platform.h"

namespace {

struct PathCase {
    const wchar_t* input;
    const wchar_t* expected;
};

struct JoinCase {
    const wchar_t* a;
    const wchar_t* b;
    const wchar_t* expected;
};

template <class Function>
void checkEach(const std::initializer_list<PathCase>& cases, Function function) {
    for (const PathCase& c : cases) {
        SCOPED_TRACE(tstrings::wideToUtf8(c.input));
        EXPECT_EQ(function(c.input), c.expected);
    }
}

// The path with every '|' replaced by the separator that joining writes.
WideString joined(const wchar_t* path) {
    WideString text(path);
    for (wchar_t& ch : text) {
        if (ch == L'|') {
            ch = platform::pathSeparator;
        }
    }
    return text;
}

TEST(FileUtils, JoiningWritesTheSeparatorOfTheOs) {
#ifdef _WIN32
    EXPECT_EQ(platform::pathSeparator, L'\\');
#else
    EXPECT_EQ(platform::pathSeparator, L'/');
#endif
}

TEST(FileUtils, OnlyBackslashAndSlashSeparate) {
    EXPECT_TRUE(FileUtils::isPathSeparator(L'\\'));
    EXPECT_TRUE(FileUtils::isPathSeparator(L'/'));
    for (wchar_t ch : {L':', L'.', L' ', L'\0', L'\x2215', L'\xFF0F'}) {
        EXPECT_FALSE(FileUtils::isPathSeparator(ch)) << static_cast<int>(ch);
    }
}

TEST(FileUtils, TrimTrailingSeparators) {
    checkEach({{L"C:\\Apps/\\/", L"C:\\Apps"},
               {L"C:\\Apps", L"C:\\Apps"},
               {L"\\\\server\\share\\", L"\\\\server\\share"},
               {L"a//b", L"a//b"},
               {L"\\/\\", L""},
               {L"", L""}},
              FileUtils::trimTrailingSeparators);
}

TEST(FileUtils, JoinPath) {
    // '|' in an expected path stands for the separator that joining writes.
    const JoinCase cases[] = {
        {L"C:\\Apps", L"app", L"C:\\Apps|app"},
        {L"C:\\Apps\\", L"\\app", L"C:\\Apps|app"},
        // Only one leading separator of the second part belongs to the joint.
        {L"C:\\Apps\\\\", L"\\\\app", L"C:\\Apps|\\app"},
        {L"C:/Apps/", L"app", L"C:/Apps|app"},
        {L"\\", L"app", L"|app"},
        {L"/", L"x", L"|x"},
        {L"\\\\", L"x", L"|x"},
        {L"C:", L"app", L"C:|app"},
        {L"", L"", L""},
        {L"", L"x", L"x"},
        {L"", L"\\x", L"\\x"},
        // Nothing to join: the first part stays as it is.
        {L"x\\", L"", L"x\\"},
        {L"a", L"/", L"a|"},
        {L"/opt/Demo", L"lib/libjli.so", L"/opt/Demo|lib/libjli.so"},
    };
    for (const JoinCase& c : cases) {
        SCOPED_TRACE(tstrings::wideToUtf8(c.a) + " + " + tstrings::wideToUtf8(c.b));
        EXPECT_EQ(FileUtils::joinPath(c.a, c.b), joined(c.expected));
    }
}

TEST(FileUtils, FileNameOf) {
    checkEach({{L"C:\\Apps\\Demo.exe", L"Demo.exe"},
               {L"C:/Apps/Demo.exe", L"Demo.exe"},
               {L"C:\\Apps/Demo.exe", L"Demo.exe"},
               {L"Demo.exe", L"Demo.exe"},
               {L"C:\\Apps\\", L""},
               {L"C:Demo.exe", L"C:Demo.exe"},
               {L"\\\\server\\share\\file", L"file"},
               {L"", L""}},
              FileUtils::fileNameOf);
}

TEST(FileUtils, DirectoryOf) {
    checkEach({{L"C:\\Apps\\Demo\\Demo.exe", L"C:\\Apps\\Demo"},
               {L"C:/Apps/Demo.exe", L"C:/Apps"},
               {L"C:\\Apps\\\\Demo.exe", L"C:\\Apps"},
               // A trailing separator ends the directory part itself.
               {L"C:\\Apps\\Demo\\", L"C:\\Apps\\Demo"},
               {L"C:\\Apps\\Demo\\.", L"C:\\Apps"},
               {L"C:/Apps/Demo/.", L"C:/Apps"},
               {L"C:\\Apps\\Demo.", L"C:\\Apps"},
               {L"C:\\Demo.exe", L"C:"},
               {L"C:\\", L"C:"},
               {L"\\Demo.exe", L""},
               {L"//Demo.exe", L""},
               {L"Demo.exe", L""},
               {L"\\\\server\\share\\file", L"\\\\server\\share"},
               {L"a/.", L""},
               {L"\\.", L""},
               {L".", L""},
               {L"", L""}},
              FileUtils::directoryOf);
}

TEST(FileUtils, DropSuffix) {
    checkEach({{L"Demo.exe", L"Demo"},
               {L"My.Demo.exe", L"My.Demo"},
               {L"Demo", L"Demo"},
               {L".exe", L""},
               {L"C:\\Apps\\Demo.exe", L"C:\\Apps\\Demo"},
               {L"C:\\Apps.old\\Demo", L"C:\\Apps.old\\Demo"},
               {L"C:/Apps.old/Demo", L"C:/Apps.old/Demo"},
               {L"C:\\Apps.old\\", L"C:\\Apps.old\\"},
               {L"C:\\Apps.old\\Demo.cfg", L"C:\\Apps.old\\Demo"},
               {L"", L""}},
              FileUtils::dropSuffix);
}

TEST(FileUtils, PathBuilderJoinsComponents) {
    PathBuilder builder;
    EXPECT_EQ(builder.text(), L"");
    builder << L"C:\\Apps\\Demo\\" << L"app";
    EXPECT_EQ(builder.text(), joined(L"C:\\Apps\\Demo|app"));
    builder << L"" << L"/Demo.cfg";
    const WideString path = builder;
    EXPECT_EQ(path, joined(L"C:\\Apps\\Demo|app|Demo.cfg"));
}

} // namespace

TEST(FileUtils, AppendToSearchListNeverMakesAnEmptyElement) {
    struct Case {
        const wchar_t* list;
        wchar_t separator;
        const wchar_t* expected;
    } cases[] = {
        {L"C:\\Windows", L';', L"C:\\Windows;C:\\App\\app"},
        {L"C:\\Windows;", L';', L"C:\\Windows;C:\\App\\app"},
        {L"", L';', L"C:\\App\\app"},
        // Only the one trailing separator is reused; an empty element the
        // list already had is not ours to remove.
        {L"C:\\Windows;;", L';', L"C:\\Windows;;C:\\App\\app"},
        {L"/usr/lib", L':', L"/usr/lib:C:\\App\\app"},
        {L"/usr/lib:", L':', L"/usr/lib:C:\\App\\app"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(tstrings::wideToUtf8(c.list));
        EXPECT_EQ(FileUtils::appendToSearchList(c.list, L"C:\\App\\app", c.separator), c.expected);
    }
}
