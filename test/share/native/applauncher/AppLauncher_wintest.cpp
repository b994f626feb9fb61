// The application launcher against the real environment and file system.

#include "AppLauncher.h"

#include <gtest/gtest.h>

#include <fstream>

#include "EnvGuard.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "SysInfo.h"
#include "TempDir.h"

namespace {

TEST(AppLauncherPath, ListsTheAppDirectoryAsAWholeElementIgnoringCase) {
    struct Case {
        const wchar_t* path;  // nullptr: not set
        bool expected;
    } cases[] = {
        {L"C:\\Windows;C:\\APPS\\DEMO\\APP", true},
        {L"C:\\Apps\\Demo\\app", true},
        {L"C:\\Windows;C:\\Apps\\Demo\\app\\", false},
        {L"C:\\Windows;C:/Apps/Demo/app", false},
        {L"C:\\Windows; C:\\Apps\\Demo\\app", false},
        {L"C:\\Apps\\Demo\\app\\lib", false},
        {L"", false},
        {nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path ? c.path : L"(unset)");
        EnvGuard variable(L"VX_TEST_SEARCH_PATH");
        if (c.path) {
            variable.set(c.path);
        } else {
            variable.unset();
        }
        AppLauncher launcher;
        launcher.withAppDirectory(L"C:\\Apps\\Demo\\app").withLibrarySearchVariable(L"VX_TEST_SEARCH_PATH");
        EXPECT_EQ(launcher.librarySearchPathHasAppDir(), c.expected);
    }
}

class AppLauncherImage : public ::testing::Test {
protected:
    AppLauncherImage() : searchPath(L"VX_TEST_SEARCH_PATH") {
        std::filesystem::create_directories(temp.path() / "app");
        std::filesystem::create_directories(temp.path() / "runtime" / "bin");
        std::ofstream(temp.path() / "runtime" / "bin" / "jli.dll") << "stub";
        launcher.withRootDirectory(root())
            .withJvmLibraryCandidate(L"bin\\jli.dll")
            .withAppDirectory(appDir())
            .withLibrarySearchVariable(L"VX_TEST_SEARCH_PATH")
            .withDefaultRuntimeDirectory(FileUtils::joinPath(root(), L"runtime"));
    }

    WideString root() const { return temp.widePath(); }
    WideString appDir() const { return FileUtils::joinPath(root(), L"app"); }
    void writeConfig(const std::string& text) {
        const WideString name = FileUtils::dropSuffix(FileUtils::fileNameOf(SysInfo::executablePath())) + L".cfg";
        std::ofstream(std::filesystem::path(appDir()) / name, std::ios::binary) << text;
    }

    TempDir temp;
    EnvGuard searchPath;
    AppLauncher launcher;
};

TEST_F(AppLauncherImage, BuildsTheJvmAndExtendsTheSearchPath) {
    writeConfig("[Application]\napp.mainclass=Main\n[ArgOptions]\narguments=$APPDIR\n");
    searchPath.set(L"C:\\Windows;" + appDir() + L"\\");
    const auto jvm = launcher.createJvmLauncher();
    EXPECT_EQ(jvm->libraryPath(), root() + L"\\runtime\\bin\\jli.dll");
    ASSERT_GE(jvm->arguments().size(), 3u);
    EXPECT_EQ(jvm->arguments()[0], SysInfo::executablePath());
    EXPECT_EQ(jvm->arguments()[2], L"Main");
    // The test binary's own command-line arguments (if any) replace the
    // configured ones; otherwise the macro in the default one is expanded.
    const WideStringList commandArgs = SysInfo::getCommandArgs(SysInfo::WithoutProgramName);
    const WideStringList tail(jvm->arguments().begin() + 3, jvm->arguments().end());
    EXPECT_EQ(tail, commandArgs.empty() ? WideStringList{appDir()} : commandArgs);
    EXPECT_EQ(SysInfo::envVariable(L"VX_TEST_SEARCH_PATH"),
              L"C:\\Windows;" + appDir() + L"\\;" + appDir());
}

TEST_F(AppLauncherImage, ExtendedSearchPathHasNoEmptyElement) {
    // An empty element would put the current directory back into the
    // DLL search.
    writeConfig("");
    const struct {
        const wchar_t* before;  // nullptr: not set
        WideString after;
    } cases[] = {
        {nullptr, appDir()},
        {L"", appDir()},
        {L"C:\\Windows;", L"C:\\Windows;" + appDir()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before ? c.before : L"(unset)");
        if (c.before) {
            searchPath.set(c.before);
        } else {
            searchPath.unset();
        }
        launcher.createJvmLauncher();
        EXPECT_EQ(SysInfo::envVariable(L"VX_TEST_SEARCH_PATH"), c.after);
    }
}

TEST_F(AppLauncherImage, RelativeRuntimeIsFoundFromTheImageRootNotTheCurrentDirectory) {
    // The current directory holds a runtime of the same relative name too.
    TempDir elsewhere;
    std::filesystem::create_directories(elsewhere.path() / "runtime" / "bin");
    std::ofstream(elsewhere.path() / "runtime" / "bin" / "jli.dll") << "planted";
    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(elsewhere.path());
    writeConfig("[Application]\napp.runtime=runtime\n");
    const WideString found = launcher.createJvmLauncher()->libraryPath();
    writeConfig("[Application]\napp.runtime=.\\nowhere\n");
    std::string missing;
    try {
        launcher.createJvmLauncher();
    } catch (const VxErrorBase& e) {
        missing = e.plainMessage();
    }
    std::filesystem::current_path(saved);
    EXPECT_EQ(found, root() + L"\\runtime\\bin\\jli.dll");
    EXPECT_EQ(missing, "Failed to find JVM in \"" + tstrings::wideToUtf8(root()) + "\\.\\nowhere\" directory.");
}

TEST_F(AppLauncherImage, RuntimeFromTheConfigFileLastValueWins) {
    std::filesystem::create_directories(temp.path() / "rt2" / "bin");
    std::ofstream(temp.path() / "rt2" / "bin" / "jli.dll") << "stub";
    writeConfig("[Application]\napp.runtime=$ROOTDIR\\missing\napp.runtime=$ROOTDIR\\rt2\n");
    EXPECT_EQ(launcher.createJvmLauncher()->libraryPath(), root() + L"\\rt2\\bin\\jli.dll");
}

TEST_F(AppLauncherImage, MissingRuntimeKeepsThePathExtension) {
    writeConfig("[Application]\napp.runtime=$ROOTDIR\\nowhere\n");
    searchPath.set(L"C:\\Windows");
    try {
        launcher.createJvmLauncher();
        FAIL() << "no exception";
    } catch (const VxErrorBase& e) {
        EXPECT_EQ(std::string(e.plainMessage()),
                  "Failed to find JVM in \"" + tstrings::wideToUtf8(root()) + "\\nowhere\" directory.");
    }
    EXPECT_EQ(SysInfo::envVariable(L"VX_TEST_SEARCH_PATH"), L"C:\\Windows;" + appDir());
}

TEST_F(AppLauncherImage, MissingConfigFileNamesItsPath) {
    try {
        launcher.createJvmLauncher();
        FAIL() << "no exception";
    } catch (const VxErrorBase& e) {
        const std::string expected = "Error opening \"" + tstrings::wideToUtf8(appDir()) + "\\" +
                                     tstrings::wideToUtf8(FileUtils::dropSuffix(
                                         FileUtils::fileNameOf(SysInfo::executablePath()))) +
                                     ".cfg\" file: ";
        EXPECT_EQ(std::string(e.plainMessage()).rfind(expected, 0), 0u) << e.plainMessage();
    }
}

} // namespace
