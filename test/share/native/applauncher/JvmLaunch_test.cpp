// The launch through this platform's stub runtime (StubPlatform.h of the
// platform's test folder): one table of argument lists and one of failures,
// the same on every platform.

#include "JvmLauncher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ErrorHandling.h"
#include "Platform.h"
#include "StubLaunchTest.h"
#include "StubPlatform.h"

namespace {

class JvmLaunch : public StubLaunchTest {};

// The bytes of "J\u00F6rg" in the code pages that these tests meet; empty
// for another.
std::string joergInAnsiCodePage() {
    switch (platform::ansiCodePage()) {
    case platform::codePageUtf8:
        return "J\xC3\xB6rg";
    case 1252:
        return "J\xF6rg";
    default:
        return std::string();
    }
}

TEST_F(JvmLaunch, TheEntryGetsTheArgumentsAndTheLibraryIsReleased) {
    const WideString library = stubplatform::launchLibrary();
    ASSERT_FALSE(stubplatform::isLoaded(library));

    struct Case {
        const char* what;
        WideStringList arguments;
        std::vector<std::string> expected;
    };
    std::vector<Case> cases = {
        {"program, option and a path with a space", {L"/opt/Demo/Demo", L"-jar", L"a b.jar"},
         {"/opt/Demo/Demo", "-jar", "a b.jar"}},
        {"empty, quotes and backslashes as they are", {L"X", L"", L"\"q\" \\", L"-Dx=a b"},
         {"X", "", "\"q\" \\", "-Dx=a b"}},
        {"a long argument", {L"X", WideString(40000, L'a')}, {"X", std::string(40000, 'a')}},
    };
    Case many{"many arguments", {L"X"}, {"X"}};
    for (int i = 0; i < 500; ++i) {
        many.arguments.push_back(L"-Dn" + std::to_wstring(i));
        many.expected.push_back("-Dn" + std::to_string(i));
    }
    cases.push_back(many);
    if (!joergInAnsiCodePage().empty()) {
        cases.push_back({"non-ASCII, in the ANSI code page", {L"X", L"J\u00F6rg"}, {"X", joergInAnsiCodePage()}});
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clearRecord();
        Jvm jvm;
        jvm.setLibraryPath(library);
        for (const WideString& argument : c.arguments) {
            jvm.appendArgument(argument);
        }
        jvm.launch();

        const auto recorded = calls();
        ASSERT_EQ(recorded.size(), 1u);
        const launchrecord::Call& call = recorded[0];
        EXPECT_EQ(call.at("argc"), std::to_string(c.expected.size()));
        EXPECT_EQ(call.arguments(), c.expected);
        EXPECT_EQ(call.at("argv[" + std::to_string(c.expected.size()) + "]"), "null");
        for (const auto& [key, value] : launchrecord::launcherConstants()) {
            EXPECT_EQ(call.at(key), value) << key;
        }
        // Its only reference was the launch's own: the library is gone again.
        EXPECT_FALSE(stubplatform::isLoaded(library));
    }
}

TEST_F(JvmLaunch, FailuresNameWhatFailed) {
    const WideString library = stubplatform::launchLibrary();
    const WideString missing = stubplatform::missingLibrary();
    const WideString noEntry = stubplatform::libraryWithoutEntry();
    struct Case {
        const char* what;
        WideString library;
        const wchar_t* exitCode;
        std::string messageStart;
        bool jvmStarted = false;
    } cases[] = {
        {"entry returns 1", library, L"1", "Failed to launch JVM"},
        {"no such library", missing, L"0", stubplatform::loadFailure(missing)},
        {"a library without the entry", noEntry, L"0", stubplatform::lookupFailure(noEntry)},
        // Last: the stand-in's sign of a started JVM stays, as the real one's does.
        {"entry returns 3 after the JVM ran", library, L"3", "The application ended with an error (exit code 3)",
         true},
    };
    EnvGuard started(L"VX_STUB_JVM_STARTED", std::nullopt);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        exitGuard.set(c.exitCode);
        if (c.jvmStarted) {
            started.set(L"1");
        }
        Jvm jvm;
        jvm.setLibraryPath(c.library);
        jvm.appendArgument(L"X");
        try {
            jvm.launch();
            ADD_FAILURE() << "no exception";
        } catch (const VxErrorBase& e) {
            EXPECT_EQ(std::string(e.plainMessage()).rfind(c.messageStart, 0), 0u) << e.plainMessage();
        }
        EXPECT_FALSE(stubplatform::isLoaded(c.library));
    }
}

} // namespace
