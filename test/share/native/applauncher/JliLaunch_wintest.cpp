// The launch data block handed to the stub runtime's real entry, called with
// the runtime's convention through the export name the launcher looks up.

#include "JvmLauncherData.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "EnvGuard.h"
#include "LaunchRecord.h"
#include "ScopedHandle.h"
#include "StubRuntime.h"
#include "TempDir.h"
#include "WinSys.h"

namespace {

class JliLaunchTest : public testing::Test {
protected:
    JliLaunchTest()
        : jli(LoadLibraryW((stubRuntimeBin() + L"\\jli.dll").c_str())),
          recordFile(temp.path() / "record.txt"),
          eventsFile(temp.path() / "events.txt"),
          recordGuard(L"VX_STUB_RECORD", recordFile.wstring()),
          eventsGuard(L"VX_STUB_EVENTS", eventsFile.wstring()) {}

    // Builds the block from the arguments and calls the stub's entry with it.
    int launch(const std::vector<std::string>& arguments) {
        JliLaunchDataOwner data = createJliLaunchData("C:\\rt\\bin\\jli.dll", arguments);
        JvmlLauncherDataBlock block(buildLauncherDataBlock(&launchDataApi(), data.release()));
        EXPECT_TRUE(block);
        if (!block) {
            return -1;
        }
        const JliLaunchEntry entry =
            reinterpret_cast<JliLaunchEntry>(reinterpret_cast<void (*)()>(
                GetProcAddress(jli.get(), jliLaunchSymbol)));
        EXPECT_NE(nullptr, entry) << jliLaunchSymbol;
        return entry ? startJvmWithBlock(block.get(), entry) : -1;
    }

    ScopedModule jli;
    TempDir temp;
    std::filesystem::path recordFile;
    std::filesystem::path eventsFile;
    EnvGuard recordGuard;
    EnvGuard eventsGuard;
};

TEST_F(JliLaunchTest, EntryReceivesTheBlockAndItsResultComesBack) {
    ASSERT_NE(nullptr, jli.get()) << "stub runtime not found in " << VX_STUB_RUNTIME_DIR;
    struct Case {
        const wchar_t* exitCode;
        int expected;
    };
    const Case cases[] = {{nullptr, 0}, {L"0", 0}, {L"1", 1}, {L"7", 7}};
    const std::string odd = "caf\xE9 \"q\" \\";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        std::filesystem::remove(recordFile);
        EnvGuard exitCode(L"VX_STUB_EXIT");
        if (c.exitCode) {
            exitCode.set(c.exitCode);
        }

        EXPECT_EQ(c.expected, launch({"prog", odd, "", "-Dx=a b"}));

        const auto calls = launchrecord::read(readFile(recordFile));
        ASSERT_EQ(calls.size(), 1u);
        const launchrecord::Call& call = calls[0];
        EXPECT_EQ(call.arguments(), (std::vector<std::string>{"prog", odd, "", "-Dx=a b"}));
        std::map<std::string, std::string> expected = launchrecord::launcherConstants();
        expected.insert({{"argc", "4"},
                         {"argv[4]", "null"},
                         {"acp", std::to_string(GetACP())},
                         {"jvm.dll", "not-loaded"},
                         {"splashscreen.dll", "not-loaded"}});
        for (const auto& [key, value] : expected) {
            EXPECT_EQ(call.at(key), value) << key;
        }
    }
}

TEST_F(JliLaunchTest, StubReportsThePreloadedLibraries) {
    ASSERT_NE(nullptr, jli.get());
    {
        const ScopedModule jvm(LoadLibraryW((stubRuntimeBin() + L"\\server\\jvm.dll").c_str()));
        const ScopedModule splash(LoadLibraryW((stubRuntimeBin() + L"\\splashscreen.dll").c_str()));
        ASSERT_NE(nullptr, jvm.get());
        ASSERT_NE(nullptr, splash.get());
        EXPECT_EQ(0, launch({"prog"}));
    }
    const auto calls = launchrecord::read(readFile(recordFile));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ("loaded", calls[0].at("jvm.dll"));
    EXPECT_EQ("loaded", calls[0].at("splashscreen.dll"));
    EXPECT_EQ("jvm.dll loaded\nsplashscreen.dll loaded\njli.dll called\n"
              "splashscreen.dll unloaded\njvm.dll unloaded\n",
              readFile(eventsFile));
}

} // namespace
