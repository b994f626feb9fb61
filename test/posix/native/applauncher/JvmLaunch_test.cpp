// The launch through a recording stand-in for the runtime's libjli.so.

#include "JvmLauncher.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include "ErrorHandling.h"
#include "StubLaunchTest.h"

namespace {

class JvmLaunch : public StubLaunchTest {};

TEST_F(JvmLaunch, PassesTheArgumentsAndReleasesTheLibrary) {
    ASSERT_EQ(dlopen(VX_RECORDING_JLI, RTLD_NOW | RTLD_NOLOAD), nullptr);
    Jvm jvm;
    jvm.setLibraryPath(L"" VX_RECORDING_JLI);
    jvm.appendArgument(L"/opt/Demo/Demo").appendArgument(L"-jar").appendArgument(L"a b.jar")
        .appendArgument(L"J\u00F6rg").appendArgument(L"");
    jvm.launch();

    const auto rec = record();
    EXPECT_EQ(rec.at("argc"), "5");
    EXPECT_EQ(rec.at("argv[0]"), "/opt/Demo/Demo");
    EXPECT_EQ(rec.at("argv[2]"), "a b.jar");
    EXPECT_EQ(rec.at("argv[3]"), "J\xC3\xB6rg");
    EXPECT_EQ(rec.at("argv[4]"), "");
    EXPECT_EQ(rec.at("argv[5]"), "null");
    EXPECT_EQ(rec.at("rest"), "0 null 0 null   java java 0 0 0 0");
    // Its only reference was the launch's own: the library is gone again.
    EXPECT_EQ(dlopen(VX_RECORDING_JLI, RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST_F(JvmLaunch, FailuresNameWhatFailed) {
    struct Case {
        const char* what;
        const char* library;
        const wchar_t* exitCode;
        std::string messageStart;
    } cases[] = {
        {"entry returns 1", VX_RECORDING_JLI, L"1", "Failed to launch JVM"},
        {"no such library", "/nonexistent/libjli.so", L"0", "dlopen(/nonexistent/libjli.so) failed: "},
        // A library without the entry.
        {"no entry", VX_NO_ENTRY_LIBRARY, L"0",
         std::string("dlsym(") + VX_NO_ENTRY_LIBRARY + ", JLI_Launch) failed: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        exitGuard.set(c.exitCode);
        Jvm jvm;
        jvm.setLibraryPath(tstrings::utf8ToWide(c.library));
        jvm.appendArgument(L"X");
        try {
            jvm.launch();
            ADD_FAILURE() << "no exception";
        } catch (const VxErrorBase& e) {
            EXPECT_EQ(std::string(e.plainMessage()).rfind(c.messageStart, 0), 0u) << e.plainMessage();
        }
    }
}

} // namespace
