// The application launcher against the real environment and file system.

#include "AppLauncher.h"

#include <gtest/gtest.h>

#include <fstream>

#include "EnvGuard.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "Platform.h"
#include "SysInfo.h"
#include "TempDir.h"

namespace {

// The runtime's launcher library as each OS's driver names it.
#ifdef _WIN32
const wchar_t jliCandidate[] = L"bin\\jli.dll";
#else
const wchar_t jliCandidate[] = L"lib/libjli.so";
#endif

const WideString sep(1, platform::pathSeparator);

TEST(AppLauncherPath, ListsTheAppDirectoryAsAWholeElement) {
    const WideString windowsApp = L"C:\\Apps\\Demo\\app";
    const WideString linuxApp = L"/opt/Demo/app";
    struct Case {
        const wchar_t* path;  // nullptr: not set
        const WideString& appDirectory;
        wchar_t separator;
        tstrings::TextComparison comparison;
        bool expected;
    } cases[] = {
        // The Windows driver's choice: ';' and letters compared without case.
        {L"C:\\Windows;C:\\APPS\\DEMO\\APP", windowsApp, L';', tstrings::IgnoringCase, true},
        {L"C:\\Apps\\Demo\\app", windowsApp, L';', tstrings::IgnoringCase, true},
        {L"C:\\Windows;C:\\Apps\\Demo\\app\\", windowsApp, L';', tstrings::IgnoringCase, false},
        {L"C:\\Windows;C:/Apps/Demo/app", windowsApp, L';', tstrings::IgnoringCase, false},
        {L"C:\\Windows; C:\\Apps\\Demo\\app", windowsApp, L';', tstrings::IgnoringCase, false},
        {L"C:\\Apps\\Demo\\app\\lib", windowsApp, L';', tstrings::IgnoringCase, false},
        {L"", windowsApp, L';', tstrings::IgnoringCase, false},
        {nullptr, windowsApp, L';', tstrings::IgnoringCase, false},
        // The Linux driver's: ':' and exact names.
        {L"/usr/lib:/opt/Demo/app", linuxApp, L':', tstrings::Exact, true},
        {L"/opt/Demo/app:/usr/lib", linuxApp, L':', tstrings::Exact, true},
        {L"/usr/lib:/opt/demo/app", linuxApp, L':', tstrings::Exact, false},
        {L"/usr/lib;/opt/Demo/app", linuxApp, L':', tstrings::Exact, false},
        {L"/usr/lib:/opt/Demo/app/", linuxApp, L':', tstrings::Exact, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path ? c.path : L"(unset)");
        EnvGuard variable(L"VX_TEST_SEARCH_PATH");
        if (c.path) {
            variable.set(c.path);
        } else {
            variable.unset();
        }
        AppLauncher launcher(L"Demo.exe", {});
        launcher.withAppDirectory(c.appDirectory)
            .withLibrarySearchVariable(L"VX_TEST_SEARCH_PATH")
            .withPathListSeparator(c.separator)
            .withPathComparison(c.comparison);
        EXPECT_EQ(launcher.librarySearchPathHasAppDir(), c.expected);
    }
}

class AppLauncherImage : public ::testing::Test {
protected:
    AppLauncherImage() : searchPath(L"VX_TEST_SEARCH_PATH") {
        std::filesystem::create_directories(temp.path() / "app");
        addRuntime(temp.path() / "runtime");
        configure(launcher);
    }

    static void addRuntime(const std::filesystem::path& directory) {
        const std::filesystem::path library = directory / jliCandidate;
        std::filesystem::create_directories(library.parent_path());
        std::ofstream(library) << "stub";
    }

    AppLauncher& configure(AppLauncher& appLauncher) const {
        return appLauncher.withRootDirectory(root())
            .withJvmLibraryCandidate(jliCandidate)
            .withAppDirectory(appDir())
            .withLibrarySearchVariable(L"VX_TEST_SEARCH_PATH")
            .withDefaultRuntimeDirectory(FileUtils::joinPath(root(), L"runtime"));
    }

    WideString root() const { return temp.widePath(); }
    WideString appDir() const { return FileUtils::joinPath(root(), L"app"); }
    WideString executable() const { return FileUtils::joinPath(root(), L"My.Demo.exe"); }
    void writeConfig(const std::string& text) {
        std::ofstream(std::filesystem::path(appDir()) / "My.Demo.cfg", std::ios::binary) << text;
    }

    TempDir temp;
    EnvGuard searchPath;
    AppLauncher launcher{executable(), {}};
};

TEST_F(AppLauncherImage, BuildsTheJvmAndExtendsTheSearchPath) {
    writeConfig("[Application]\napp.mainclass=Main\n[ArgOptions]\narguments=$APPDIR\n");
    searchPath.set(L"C:\\Windows;" + appDir() + sep);
    const auto jvm = launcher.createJvmLauncher();
    EXPECT_EQ(jvm->libraryPath(), FileUtils::joinPath(FileUtils::joinPath(root(), L"runtime"), jliCandidate));
    EXPECT_EQ(jvm->arguments(), (WideStringList{executable(), L"-Dvantorix.app-path=" + executable(),
                                                L"Main", appDir()}));
    EXPECT_EQ(SysInfo::envVariable(L"VX_TEST_SEARCH_PATH"),
              L"C:\\Windows;" + appDir() + sep + L";" + appDir());
}

TEST_F(AppLauncherImage, CommandLineReplacesTheArgumentsAndSeparatorsFollowTheDriver) {
    writeConfig("[Application]\napp.classpath=a.jar\napp.classpath=b.jar\napp.mainclass=Main\n"
                "[ArgOptions]\narguments=default\n");
    if (root().find(L':') != WideString::npos) {
        GTEST_SKIP() << "a drive letter's ':' is the Linux driver's list separator";
    }
    AppLauncher linuxLike(executable(), {L"$APPDIR", L""});
    configure(linuxLike).withPathListSeparator(L':').withPathComparison(tstrings::Exact);
    searchPath.set(L"/usr/lib");
    const auto jvm = linuxLike.createJvmLauncher();
    EXPECT_EQ(jvm->arguments(),
              (WideStringList{executable(), L"-classpath", L"a.jar:b.jar",
                              L"-Dvantorix.app-path=" + executable(), L"Main", L"$APPDIR", L""}));
    EXPECT_EQ(SysInfo::envVariable(L"VX_TEST_SEARCH_PATH"), L"/usr/lib:" + appDir());
}

TEST_F(AppLauncherImage, ExtendedSearchPathHasNoEmptyElement) {
    // An empty element would put the current directory back into the
    // library search.
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
    addRuntime(elsewhere.path() / "runtime");
    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(elsewhere.path());
    writeConfig("[Application]\napp.runtime=runtime\n");
    const WideString found = launcher.createJvmLauncher()->libraryPath();
    writeConfig("[Application]\napp.runtime=./nowhere\n");
    std::string missing;
    try {
        launcher.createJvmLauncher();
    } catch (const VxErrorBase& e) {
        missing = e.plainMessage();
    }
    std::filesystem::current_path(saved);
    EXPECT_EQ(found, FileUtils::joinPath(root() + sep + L"runtime", jliCandidate));
    EXPECT_EQ(missing, "Failed to find JVM in \"" + tstrings::wideToUtf8(root() + sep) + "./nowhere\" directory.");
}

TEST_F(AppLauncherImage, RuntimeFromTheConfigFileLastValueWins) {
    addRuntime(temp.path() / "rt2");
    writeConfig("[Application]\napp.runtime=$ROOTDIR/missing\napp.runtime=$ROOTDIR/rt2\n");
    EXPECT_EQ(launcher.createJvmLauncher()->libraryPath(),
              FileUtils::joinPath(root() + L"/rt2", jliCandidate));
}

TEST_F(AppLauncherImage, MissingRuntimeKeepsThePathExtension) {
    writeConfig("[Application]\napp.runtime=$ROOTDIR/nowhere\n");
    searchPath.set(L"C:\\Windows");
    try {
        launcher.createJvmLauncher();
        FAIL() << "no exception";
    } catch (const VxErrorBase& e) {
        EXPECT_EQ(std::string(e.plainMessage()),
                  "Failed to find JVM in \"" + tstrings::wideToUtf8(root()) + "/nowhere\" directory.");
    }
    EXPECT_EQ(SysInfo::envVariable(L"VX_TEST_SEARCH_PATH"), L"C:\\Windows;" + appDir());
}

TEST_F(AppLauncherImage, DirectoryWithTheListSeparatorIsRefusedBeforeTheSearchPathChanges) {
    const struct {
        const char* what;
        wchar_t separator;
        const wchar_t* appSubdirectory;  // nullptr: the image's own
        const char* runtime;             // nullptr: the default
        const char* role;
        WideString directory;
    } cases[] = {
        {"application, ';'", L';', L"x;y", nullptr, "application", root() + sep + L"x;y"},
        {"application, ':'", L':', L"x:y", nullptr, "application", root() + sep + L"x:y"},
        {"runtime, ';'", L';', nullptr, "$ROOTDIR/r;t", "Java runtime", root() + L"/r;t"},
        {"runtime, ':'", L':', nullptr, "r:t", "Java runtime", root() + sep + L"r:t"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.separator == L':' && root().find(L':') != WideString::npos) {
            continue;  // a drive letter's ':' would be refused first
        }
        searchPath.set(L"/usr/lib");
        writeConfig(c.runtime ? std::string("[Application]\napp.runtime=") + c.runtime + "\n" : "");
        AppLauncher appLauncher(executable(), {});
        configure(appLauncher).withPathListSeparator(c.separator);
        if (c.appSubdirectory) {
            appLauncher.withAppDirectory(FileUtils::joinPath(root(), c.appSubdirectory));
        }
        try {
            appLauncher.createJvmLauncher();
            ADD_FAILURE() << "no exception";
        } catch (const VxErrorBase& e) {
            EXPECT_EQ(std::string(e.plainMessage()),
                      std::string("The ") + c.role + " directory \"" + tstrings::wideToUtf8(c.directory) +
                          "\" contains '" + tstrings::wideToUtf8(WideString(1, c.separator)) +
                          "', which separates the directories listed in VX_TEST_SEARCH_PATH and in the "
                          "class path: move the application to a directory without it");
        }
        if (c.appSubdirectory) {
            EXPECT_EQ(SysInfo::envVariable(L"VX_TEST_SEARCH_PATH"), L"/usr/lib");
        }
    }
}

TEST_F(AppLauncherImage, MissingConfigFileNamesItsPath) {
    try {
        launcher.createJvmLauncher();
        FAIL() << "no exception";
    } catch (const VxErrorBase& e) {
        const std::string expected =
            "Error opening \"" + tstrings::wideToUtf8(appDir() + sep) + "My.Demo.cfg\" file: ";
        EXPECT_EQ(std::string(e.plainMessage()).rfind(expected, 0), 0u) << e.plainMessage();
    }
}

} // namespace
