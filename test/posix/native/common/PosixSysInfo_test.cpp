// The POSIX half of SysInfo against the real process.

#include "SysInfo.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "EnvGuard.h"
#include "ErrorHandling.h"

namespace {

TEST(PosixSysInfo, ExecutablePathIsTheResolvedAbsolutePath) {
    const WideString path = SysInfo::executablePath();
    EXPECT_EQ(path, std::filesystem::canonical("/proc/self/exe").wstring());
    EXPECT_EQ(path.front(), L'/');
}

TEST(PosixSysInfo, EnvironmentTellsUnsetFromEmpty) {
    EnvGuard variable(L"VX_TEST_SYSINFO");
    variable.unset();
    EXPECT_EQ(SysInfo::envVariableOr(L"VX_TEST_SYSINFO", L"fallback"), L"fallback");
    try {
        SysInfo::envVariable(L"VX_TEST_SYSINFO");
        ADD_FAILURE() << "no exception";
    } catch (const VxErrorBase& e) {
        EXPECT_STREQ(e.plainMessage(), "getenv(VX_TEST_SYSINFO) failed. Variable not set");
    }

    SysInfo::setEnvVariable(L"VX_TEST_SYSINFO", L"");
    EXPECT_EQ(SysInfo::envVariableOr(L"VX_TEST_SYSINFO", L"fallback"), L"");
    SysInfo::setEnvVariable(L"VX_TEST_SYSINFO", L"/opt/J\u00F6rg:/usr/lib");
    EXPECT_EQ(SysInfo::envVariable(L"VX_TEST_SYSINFO"), L"/opt/J\u00F6rg:/usr/lib");
}

TEST(PosixSysInfo, SetEnvVariableNamesTheFailure) {
    try {
        SysInfo::setEnvVariable(L"BAD=NAME", L"x");
        ADD_FAILURE() << "no exception";
    } catch (const VxErrorBase& e) {
        EXPECT_EQ(std::string(e.plainMessage()).rfind("setenv(BAD=NAME, x) failed: ", 0), 0u) << e.plainMessage();
    }
}

} // namespace
