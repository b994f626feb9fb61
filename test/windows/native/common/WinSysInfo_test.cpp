#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "EnvGuard.h"
#include "FileUtils.h"
#include "ScopedHandle.h"
#include "SysInfo.h"
#include "TempDir.h"
#include "TestFixture.h"
#include "WinErrorHandling.h"

namespace {

// When this variable names a file, the test binary was started by one of
// the tests below or by LongExecutablePath.cmake: it writes what SysInfo
// tells it into that file and exits before any test runs, so its command
// line holds only the test's arguments.
const wchar_t* const childReportVariable = L"VX_SYSINFO_CHILD_REPORT";

// Report, one item a line in UTF-8: the executable path, then the count and
// the arguments with the program name, then the count and the arguments
// without it.
bool runAsChildWhenAsked() {
    const WideString report = SysInfo::envVariableOr(childReportVariable, L"");
    if (report.empty()) {
        return false;
    }
    std::ostringstream text;
    text << tstrings::wideToUtf8(SysInfo::executablePath()) << '\n';
    const WideStringList withName = SysInfo::getCommandArgs(SysInfo::WithProgramName);
    text << withName.size() << '\n';
    for (const WideString& arg : withName) {
        text << tstrings::wideToUtf8(arg) << '\n';
    }
    const WideStringList withoutName = SysInfo::getCommandArgs(SysInfo::WithoutProgramName);
    text << withoutName.size() << '\n';
    for (const WideString& arg : withoutName) {
        text << tstrings::wideToUtf8(arg) << '\n';
    }
    const std::string bytes = text.str();
    bool written = false;
    {
        const ScopedFile file(_wfopen(report.c_str(), L"wb"));
        written = file && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    }
    std::exit(written ? 0 : 3);
}

const bool childDone = runAsChildWhenAsked();

struct ChildReport {
    WideString executablePath;
    WideStringList withProgramName;
    WideStringList withoutProgramName;
};

// Runs the binary with the command line and reads its report.
ChildReport runChild(const WideString& commandLine, const TempDir& scratch) {
    const WideString reportPath = scratch.widePath() + L"\\report.txt";
    const EnvGuard marker(childReportVariable, reportPath);
    DeleteFileW(reportPath.c_str());

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    WideString mutableLine = commandLine;
    if (!CreateProcessW(nullptr, &mutableLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
        return {};
    }
    const ScopedHandle processHandle(process.hProcess);
    const ScopedHandle threadHandle(process.hThread);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);

    std::ifstream file(std::filesystem::path(reportPath), std::ios::binary);
    ChildReport report;
    std::string line;
    auto next = [&]() {
        std::getline(file, line);
        return tstrings::utf8ToWide(line);
    };
    auto nextList = [&](WideStringList& list) {
        std::getline(file, line);
        const int count = line.empty() ? 0 : std::stoi(line);
        for (int i = 0; i < count; ++i) {
            list.push_back(next());
        }
    };
    report.executablePath = next();
    nextList(report.withProgramName);
    nextList(report.withoutProgramName);
    EXPECT_TRUE(file) << "incomplete report from the child";
    return report;
}

TEST(SysInfo, CommandArgsFollowThePlatformsQuoting) {
    const TempDir scratch;
    const WideString binary = testfixture::testBinaryPath();
    const struct {
        const wchar_t* arguments;
        WideStringList expected;
    } cases[] = {
        {L"", {}},
        {L"plain \"with space\" \"\" \"say \\\"hi\\\"\" a\\\\b Gr\u00fc\u00dfe\u20ac",
         {L"plain", L"with space", L"", L"say \"hi\"", L"a\\\\b", L"Gr\u00fc\u00dfe\u20ac"}},
        {L"  \"C:\\dir with space\\\\\"   tail", {L"C:\\dir with space\\", L"tail"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(tstrings::wideToUtf8(c.arguments));
        const ChildReport report = runChild(L"\"" + binary + L"\" " + c.arguments, scratch);
        EXPECT_EQ(report.withoutProgramName, c.expected);
        ASSERT_EQ(report.withProgramName.size(), c.expected.size() + 1);
        // The program name as the command line spells it, quotes removed.
        EXPECT_EQ(report.withProgramName.front(), binary);
        EXPECT_TRUE(std::equal(c.expected.begin(), c.expected.end(),
                               report.withProgramName.begin() + 1));
    }
}

TEST(SysInfo, EnvironmentValuesOfAnyLength) {
    const WideString name = L"VX_SYSINFO_TEST_VALUE";
    EnvGuard guard(name);
    // The first read has room for 9 characters and the NUL.
    for (const WideString& value :
         {WideString(L"x"), WideString(9, L'9'), WideString(10, L'a'), WideString(11, L'b'),
          WideString(4000, L'c'), WideString(L"Gr\u00fc\u00dfe \u20ac =;%PATH%")}) {
        SCOPED_TRACE(value.size());
        guard.set(value);
        EXPECT_EQ(SysInfo::envVariable(name), value);
        EXPECT_EQ(SysInfo::envVariableOr(name, L"fallback"), value);
    }
}

TEST(SysInfo, EmptyValueIsSetMissingVariableIsNot) {
    const WideString name = L"VX_SYSINFO_TEST_EMPTY";
    EnvGuard guard(name, L"");
    ASSERT_TRUE(EnvGuard::read(name).has_value());
    EXPECT_EQ(SysInfo::envVariable(name), L"");
    EXPECT_EQ(SysInfo::envVariableOr(name, L"fallback"), L"");

    guard.unset();
    EXPECT_EQ(SysInfo::envVariableOr(name, L"fallback"), L"fallback");
    try {
        SysInfo::envVariable(name);
        ADD_FAILURE() << "a missing variable was read";
    } catch (const VxError<SysError>& e) {
        const std::string expected =
            "GetEnvironmentVariable(VX_SYSINFO_TEST_EMPTY) failed. Variable not set. System error [203]";
        EXPECT_EQ(std::string(e.plainMessage()).rfind(expected, 0), 0u) << e.plainMessage();
        EXPECT_NE(std::string(e.what()).find(" at SysInfo::`anonymous-namespace'::getEnvVariableImpl(): "),
                  std::string::npos)
            << e.what();
    }
}

TEST(SysInfo, SetEnvVariable) {
    const WideString name = L"VX_SYSINFO_TEST_SET";
    const EnvGuard guard(name);
    SysInfo::setEnvVariable(name, L"C:\\one;C:\\two");
    EXPECT_EQ(EnvGuard::read(name), WideString(L"C:\\one;C:\\two"));
    SysInfo::setEnvVariable(name, L"");
    EXPECT_EQ(EnvGuard::read(name), WideString());

    try {
        SysInfo::setEnvVariable(L"", L"x");
        ADD_FAILURE() << "a variable without a name was set";
    } catch (const VxError<SysError>& e) {
        EXPECT_EQ(std::string(e.plainMessage()).rfind("SetEnvironmentVariable(, x) failed. System error [", 0),
                  0u)
            << e.plainMessage();
        EXPECT_NE(std::string(e.what()).find(" at SysInfo::setEnvVariable(): "), std::string::npos);
    }
}

TEST(SysInfo, SystemDirectoryHasNoTrailingSeparator) {
    const WideString directory = SysInfo::systemDirectory();
    ASSERT_GT(directory.size(), 3u);
    EXPECT_FALSE(FileUtils::isPathSeparator(directory.back()));
    EXPECT_TRUE(FileUtils::pathExists(directory + L"\\kernel32.dll"));
}

TEST(SysInfo, ExecutablePathOfThisProcess) {
    EXPECT_FALSE(childDone);
    EXPECT_EQ(SysInfo::executablePath(), testfixture::testBinaryPath());
}

} // namespace
