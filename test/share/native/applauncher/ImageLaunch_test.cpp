// The launch steps every OS shares, driven by a recording platform.

#include "ImageLaunch.h"

#include <gtest/gtest.h>

#include <fstream>

#include "EnvGuard.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "SysInfo.h"
#include "TempDir.h"

namespace {

// A drive letter's ':' rules out the Linux separator on Windows.
#ifdef _WIN32
const WideString listSeparator = L";";
#else
const WideString listSeparator = L":";
#endif

TEST(ImageLaunch, RestartsOnceWhenTheSearchPathLacksTheAppDirectory) {
    TempDir temp;
    std::filesystem::create_directories(temp.path() / "app");
    std::filesystem::create_directories(temp.path() / "runtime" / "lib");
    std::ofstream(temp.path() / "runtime" / "lib" / "jli") << "stub";
    std::ofstream(temp.path() / "app" / "Demo.cfg") << "[Application]\napp.mainclass=Main\n";
    const WideString executable = FileUtils::joinPath(temp.widePath(), L"Demo");
    const WideString appDir = FileUtils::joinPath(temp.widePath(), L"app");

    const struct {
        const char* what;
        bool listed;     // the search variable lists the application directory
        bool restarted;  // this process is a restart
        bool takenOver;  // the platform takes the launch over
        const char* expected;
    } cases[] = {
        {"first start, app directory missing", false, false, false, "restart"},
        {"app directory listed", true, false, false, "in-process"},
        {"a restart never restarts again", false, true, false, "in-process"},
        {"taken over before the decision", false, false, true, "taken-over"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EnvGuard searchPath(L"VX_TEST_SEARCH_PATH");
        searchPath.set(c.listed ? L"/usr/lib" + listSeparator + appDir : WideString(L"/usr/lib"));
        std::string seen;
        PlatformLaunch platform;
        platform.executablePath = executable;
        platform.commandArgs = {L"x"};
        platform.jvmLibrary = L"lib/jli";
        platform.librarySearchVariable = L"VX_TEST_SEARCH_PATH";
        platform.pathListSeparator = listSeparator[0];
        platform.pathComparison = tstrings::Exact;
        platform.takeRestartMark = [&] { return c.restarted; };
        platform.takeOver = [&](std::unique_ptr<Jvm>& jvm) {
            EXPECT_EQ(jvm->arguments().back(), L"x");
            if (c.takenOver) {
                seen = "taken-over";
            }
            return c.takenOver;
        };
        platform.restart = [&](const WideString& path) {
            EXPECT_EQ(path, executable);
            seen = "restart";
        };
        platform.runInProcess = [&](Jvm& jvm) {
            EXPECT_EQ(jvm.libraryPath(), FileUtils::joinPath(FileUtils::joinPath(temp.widePath(), L"runtime"), L"lib/jli"));
            seen = "in-process";
        };
        launchImage(platform);
        EXPECT_EQ(seen, c.expected);
        // Every start leaves the variable listing the application directory.
        EXPECT_EQ(SysInfo::envVariable(L"VX_TEST_SEARCH_PATH"), L"/usr/lib" + listSeparator + appDir);
    }
}

} // namespace
