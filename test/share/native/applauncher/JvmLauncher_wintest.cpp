// The JVM argument list built from config files, and the launch through the
// stub runtime.

#include "JvmLauncher.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "CfgFile.h"
#include "EnvGuard.h"
#include "ErrorHandling.h"
#include "LogCapture.h"
#include "StubRuntime.h"
#include "SysInfo.h"
#include "TempDir.h"
#include "WinSys.h"

namespace {

class JvmArguments : public ::testing::Test {
protected:
    // Writes the config text (with "A" standing for the temp directory) and
    // returns the list that follows the program name.
    WideStringList argumentsFor(const std::string& config, const WideStringList& commandArgs = {}) {
        const std::filesystem::path file = temp.path() / "Demo.cfg";
        std::ofstream(file, std::ios::binary) << config;
        CfgFile cfg = CfgFile::load(file.wstring()).substituteMacros({{L"$A", dir()}});
        if (!commandArgs.empty()) {
            cfg.replaceValues(SectionId::ArgOptions, PropertyId::Arguments, commandArgs);
        }
        Jvm jvm;
        jvm.appendArgument(L"X");
        jvm.initFromConfigFile(cfg);
        WideStringList list = jvm.arguments();
        EXPECT_EQ(list.at(0), L"X");
        list.erase(list.begin());
        return list;
    }
    WideString dir() const { return temp.widePath(); }
    WideString appPath() const { return L"-Dvantorix.app-path=" + SysInfo::executablePath(); }

    TempDir temp;
};

TEST_F(JvmArguments, ExampleTable) {
    std::ofstream(temp.path() / "s.png") << "png";
    struct Case {
        const char* name;
        std::string config;
        WideStringList commandArgs;
        WideStringList expected;
    } cases[] = {
        {"class path and main class",
         "[Application]\napp.classpath=$A\\a.jar\napp.classpath=$A\\b.jar\napp.mainclass=Main\n",
         {},
         {L"-classpath", dir() + L"\\a.jar;" + dir() + L"\\b.jar", appPath(), L"Main"}},
        {"module path, options and arguments",
         "[Application]\napp.modulepath=$A\\mods\napp.mainmodule=m/Main\n"
         "[JavaOptions]\njava-options=-Xmx512m\n[ArgOptions]\narguments=one\narguments=two\n",
         {},
         {L"--module-path", dir() + L"\\mods", L"-Xmx512m", appPath(), L"-m", L"m/Main", L"one", L"two"}},
        {"command line replaces the arguments",
         "[Application]\napp.modulepath=$A\\mods\napp.mainmodule=m/Main\n"
         "[JavaOptions]\njava-options=-Xmx512m\n[ArgOptions]\narguments=one\narguments=two\n",
         {L"three"},
         {L"--module-path", dir() + L"\\mods", L"-Xmx512m", appPath(), L"-m", L"m/Main", L"three"}},
        {"main jar with splash",
         "[Application]\napp.mainjar=$A\\main.jar\napp.splash=$A\\s.png\n",
         {},
         {L"-splash:" + dir() + L"\\s.png", appPath(), L"-jar", dir() + L"\\main.jar"}},
        {"main class before main jar",
         "[Application]\napp.mainjar=$A\\main.jar\napp.mainclass=Main\n",
         {},
         {appPath(), L"Main", L"-jar", dir() + L"\\main.jar"}},
        {"empty file", "", {}, {appPath()}},
        {"two module paths stay two pairs, one class path has no ';'",
         "[Application]\napp.modulepath=m1\napp.modulepath=m2\napp.classpath=only.jar\n",
         {},
         {L"--module-path", L"m1", L"--module-path", L"m2", L"-classpath", L"only.jar", appPath()}},
        {"last splash wins",
         "[Application]\napp.splash=$A\\missing.png\napp.splash=$A\\s.png\n",
         {},
         {L"-splash:" + dir() + L"\\s.png", appPath()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(argumentsFor(c.config, c.commandArgs), c.expected);
    }
}

TEST_F(JvmArguments, MissingSplashIsDroppedWithOneWarning) {
    const ScopedLogCapture capture;
    EXPECT_EQ(argumentsFor("[Application]\napp.splash=$A\\none.png\n"), WideStringList{appPath()});
    int warnings = 0;
    for (const LogRecord& record : capture.records()) {
        if (record.levelName == L"WARNING") {
            ++warnings;
            EXPECT_EQ(record.text, L"Splash property ignored. File \"" + dir() + L"\\none.png\" not found");
            EXPECT_EQ(record.function, L"Jvm::initFromConfigFile");
        }
    }
    EXPECT_EQ(warnings, 1);
}

TEST(JvmSplash, HasSplashOption) {
    struct Case {
        const wchar_t* argument;
        bool expected;
    } cases[] = {
        {L"-splash:x.png", true}, {L"-splash:", true}, {L"-Splash:x.png", false},
        {L"-splash", false},      {L"-spl", false},    {L"x-splash:", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argument);
        Jvm jvm;
        jvm.appendArgument(L"X").appendArgument(c.argument);
        EXPECT_EQ(jvm.hasSplashOption(), c.expected);
    }
}

class JvmLaunch : public ::testing::Test {
protected:
    JvmLaunch()
        : recordGuard(L"VX_STUB_RECORD", (temp.path() / "record.txt").wstring()),
          exitGuard(L"VX_STUB_EXIT") {}

    std::map<std::string, std::string> record() const { return parseRecord(readFile(temp.path() / "record.txt")); }

    TempDir temp;
    EnvGuard recordGuard;
    EnvGuard exitGuard;
};

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
