// The JVM argument list built from config files.

#include "JvmLauncher.h"

#include <gtest/gtest.h>

#include <fstream>

#include "CfgFile.h"
#include "LogCapture.h"
#include "TempDir.h"

namespace {

class JvmArguments : public ::testing::Test {
protected:
    // Writes the config text (with "A" standing for the temp directory) and
    // returns the list that follows the program name.
    WideStringList argumentsFor(const std::string& config, const WideStringList& commandArgs = {},
                                wchar_t classPathSeparator = L';') {
        const std::filesystem::path file = temp.path() / "Demo.cfg";
        std::ofstream(file, std::ios::binary) << config;
        CfgFile cfg = CfgFile::load(file.wstring()).substituteMacros({{L"$A", dir()}});
        if (!commandArgs.empty()) {
            cfg.replaceValues(SectionId::ArgOptions, PropertyId::Arguments, commandArgs);
        }
        Jvm jvm;
        jvm.appendArgument(L"X");
        jvm.initFromConfigFile(cfg, L"/opt/Demo/Demo", classPathSeparator);
        WideStringList list = jvm.arguments();
        EXPECT_EQ(list.at(0), L"X");
        list.erase(list.begin());
        return list;
    }
    WideString dir() const { return temp.widePath(); }
    static WideString appPath() { return L"-Dvantorix.app-path=/opt/Demo/Demo"; }

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
         "[Application]\napp.mainjar=$A\\main.jar\napp.splash=$A/s.png\n",
         {},
         {L"-splash:" + dir() + L"/s.png", appPath(), L"-jar", dir() + L"\\main.jar"}},
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
         "[Application]\napp.splash=$A\\missing.png\napp.splash=$A/s.png\n",
         {},
         {L"-splash:" + dir() + L"/s.png", appPath()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(argumentsFor(c.config, c.commandArgs), c.expected);
    }
}

TEST_F(JvmArguments, ClassPathTakesTheDriversSeparator) {
    EXPECT_EQ(argumentsFor("[Application]\napp.classpath=$A/a.jar\napp.classpath=b.jar\n", {}, L':'),
              (WideStringList{L"-classpath", dir() + L"/a.jar:b.jar", appPath()}));
}

TEST_F(JvmArguments, MissingSplashIsDroppedWithOneWarning) {
    const ScopedLogCapture capture;
    EXPECT_EQ(argumentsFor("[Application]\napp.splash=$A/none.png\n"), WideStringList{appPath()});
    int warnings = 0;
    for (const LogRecord& record : capture.records()) {
        if (record.levelName == L"WARNING") {
            ++warnings;
            EXPECT_EQ(record.text, L"Splash property ignored. File \"" + dir() + L"/none.png\" not found");
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

} // namespace
