// The launch through the stub runtime.

#include "JvmLauncher.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "ErrorHandling.h"
#include "StubLaunchTest.h"
#include "WinSys.h"

namespace {

class JvmLaunch : public StubLaunchTest {};

TEST_F(JvmLaunch, PassesTheArgumentsAndReleasesTheLibrary) {
    const WideString jli = stubRuntimeBin() + L"\\jli.dll";
    ASSERT_EQ(GetModuleHandleW(jli.c_str()), nullptr);
    Jvm jvm;
    jvm.setLibraryPath(jli);
    jvm.appendArgument(L"C:\\Demo\\Demo.exe").appendArgument(L"-jar").appendArgument(L"a b.jar");
    jvm.launch();

    const auto rec = record();
    EXPECT_EQ(rec.at("argc"), "3");
    EXPECT_EQ(rec.at("argv[0]"), hexOf("C:\\Demo\\Demo.exe"));
    EXPECT_EQ(rec.at("argv[1]"), hexOf("-jar"));
    EXPECT_EQ(rec.at("argv[2]"), hexOf("a b.jar"));
    EXPECT_EQ(rec.at("argv[3]"), "null");
    EXPECT_EQ(rec.at("arg3"), "0");
    EXPECT_EQ(rec.at("arg4"), "null");
    EXPECT_EQ(rec.at("arg5"), "0");
    EXPECT_EQ(rec.at("arg6"), "null");
    EXPECT_EQ(rec.at("arg7"), "");
    EXPECT_EQ(rec.at("arg8"), "");
    EXPECT_EQ(rec.at("arg9"), hexOf("java"));
    EXPECT_EQ(rec.at("arg10"), hexOf("java"));
    for (const char* key : {"arg11", "arg12", "arg13", "arg14"}) {
        EXPECT_EQ(rec.at(key), "0") << key;
    }
    // Its only reference was the launch's own: the library is gone again.
    EXPECT_EQ(GetModuleHandleW(jli.c_str()), nullptr);
}

TEST_F(JvmLaunch, NonZeroResultFailsAndMissingEntryNamesTheLookup) {
    exitGuard.set(L"1");
    Jvm jvm;
    jvm.setLibraryPath(stubRuntimeBin() + L"\\jli.dll");
    jvm.appendArgument(L"X");
    try {
        jvm.launch();
        FAIL() << "no exception";
    } catch (const VxErrorBase& e) {
        EXPECT_STREQ(e.plainMessage(), "Failed to launch JVM");
    }

    // A library without the entry.
    Jvm wrong;
    const WideString splash = stubRuntimeBin() + L"\\splashscreen.dll";
    wrong.setLibraryPath(splash);
    wrong.appendArgument(L"X");
    try {
        wrong.launch();
        FAIL() << "no exception";
    } catch (const VxErrorBase& e) {
        EXPECT_EQ(std::string(e.plainMessage()).rfind(
                      "GetProcAddress(" + tstrings::wideToUtf8(splash) + ", " + jliLaunchSymbol + ") failed", 0),
                  0u)
            << e.plainMessage();
    }
}

} // namespace
