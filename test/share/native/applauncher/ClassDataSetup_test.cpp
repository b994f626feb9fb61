// The class-data options in the JVM argument list: where they go, and when
// there are none.

#include "ClassDataSetup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "CfgFile.h"
#include "EnvGuard.h"
#include "JvmLauncher.h"
#include "TempDir.h"

namespace {

class ClassDataOptions : public ::testing::Test {
protected:
    // The list after the program name for the config text, with a runtime
    // whose release file says `release`.
    WideStringList argumentsFor(const std::string& config, const std::string& release) {
        const std::filesystem::path runtime = temp.path() / "runtime";
        std::filesystem::create_directories(runtime / "lib");
        std::ofstream(runtime / "release", std::ios::binary) << release;
        const std::filesystem::path file = temp.path() / "Demo.cfg";
        std::ofstream(file, std::ios::binary) << config;
        const CfgFile cfg = CfgFile::load(file.wstring());
        Jvm jvm;
        jvm.setLibraryPath((runtime / "lib" / "libjli.so").wstring());
        jvm.appendArgument(L"X");
#ifdef _WIN32
        jvm.initFromConfigFile(cfg, (temp.path() / "Demo").wstring(), L';');
#else
        jvm.initFromConfigFile(cfg, (temp.path() / "Demo").wstring(), L':');
#endif
        WideStringList list = jvm.arguments();
        list.erase(list.begin());
        return list;
    }
    WideString cache() const {
#ifdef _WIN32
        return (temp.path() / "cache" / "Demo" / "ClassData").wstring();
#else
        return (temp.path() / "cache" / "Demo").wstring();
#endif
    }

    TempDir temp;
    EnvGuard xdg{L"XDG_CACHE_HOME", (temp.path() / "cache").wstring()};
    EnvGuard local{L"LOCALAPPDATA", (temp.path() / "cache").wstring()};
    EnvGuard creator{ClassDataCache::creatorVariable, std::nullopt};
};

TEST_F(ClassDataOptions, ComeAfterTheJavaOptionsAndBeforeTheAppPath) {
    const WideStringList list = argumentsFor(
        "[Application]\napp.mainclass=Main\napp.fast-start=true\n[JavaOptions]\njava-options=-Xmx64m\n",
        "JAVA_VERSION=\"17.0.2\"\n");
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0], L"-Xmx64m");
    EXPECT_TRUE(tstrings::hasPrefix(list[1], L"-XX:DumpLoadedClassList=" + cache()));
    EXPECT_TRUE(tstrings::hasSuffix(list[1], L".tmp"));
    EXPECT_TRUE(tstrings::hasPrefix(list[2], L"-Dvantorix.app-path="));
    EXPECT_EQ(list[3], L"Main");
    EXPECT_TRUE(std::filesystem::is_directory(cache()));
}

TEST_F(ClassDataOptions, NoneWithoutTheFeatureOrItsRuntimeOrWithThePackagersChoice) {
    const struct {
        const char* label;
        const char* config;
        const char* release;
    } cases[] = {
        {"property absent", "[Application]\napp.mainclass=Main\n", "JAVA_VERSION=\"17\"\n"},
        {"property not true", "[Application]\napp.mainclass=Main\napp.fast-start=yes\n", "JAVA_VERSION=\"17\"\n"},
        {"runtime 11", "[Application]\napp.mainclass=Main\napp.fast-start=true\n", "JAVA_VERSION=\"11.0.2\"\n"},
        {"no release file text", "[Application]\napp.mainclass=Main\napp.fast-start=true\n", ""},
        {"packager's -Xshare:off",
         "[Application]\napp.mainclass=Main\napp.fast-start=true\n[JavaOptions]\njava-options=-Xshare:off\n",
         "JAVA_VERSION=\"25\"\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const WideStringList list = argumentsFor(c.config, c.release);
        for (const WideString& argument : list) {
            EXPECT_FALSE(tstrings::hasPrefix(argument, L"-XX:A")) << tstrings::wideToUtf8(argument);
            EXPECT_FALSE(tstrings::hasPrefix(argument, L"-Xlog:")) << tstrings::wideToUtf8(argument);
        }
        EXPECT_FALSE(std::filesystem::exists(cache()));
    }
}

#ifndef _WIN32
// A cache directory that someone else could write, or one whose path would
// split the runtime's archive option, turns the cache off for the launch.
TEST_F(ClassDataOptions, OffInADirectoryThatIsNotTheUsersAlone) {
    const std::string config = "[Application]\napp.mainclass=Main\napp.fast-start=true\n";
    const std::string release = "JAVA_VERSION=\"17.0.2\"\n";
    const std::filesystem::path elsewhere = temp.path() / "elsewhere";
    const struct {
        const char* label;
        std::filesystem::path cacheHome;
        void (*prepare)(const std::filesystem::path& directory, const std::filesystem::path& elsewhere);
    } cases[] = {
        {"writable by the group", temp.path() / "group",
         [](const std::filesystem::path& d, const std::filesystem::path&) { ::chmod(d.c_str(), 0770); }},
        {"writable by others", temp.path() / "others",
         [](const std::filesystem::path& d, const std::filesystem::path&) { ::chmod(d.c_str(), 0757); }},
        {"a link to a directory of the user's", temp.path() / "link",
         [](const std::filesystem::path& d, const std::filesystem::path& e) {
             std::filesystem::remove(d);
             std::filesystem::create_directories(e);
             ::chmod(e.c_str(), 0700);
             std::filesystem::create_directory_symlink(e, d);
         }},
        {"another user's (root only)", temp.path() / "nobody",
         [](const std::filesystem::path& d, const std::filesystem::path&) {
             if (::geteuid() == 0) {
                 EXPECT_EQ(::chown(d.c_str(), 65534, 65534), 0);
             }
         }},
        {"a list separator in the path", temp.path() / "a:b", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        if (std::string(c.label) == "another user's (root only)" && ::geteuid() != 0) {
            continue;
        }
        const std::filesystem::path directory = c.cacheHome / "Demo";
        std::filesystem::create_directories(directory);
        ::chmod(directory.c_str(), 0700);
        if (c.prepare) {
            c.prepare(directory, elsewhere);
        }
        EnvGuard home{L"XDG_CACHE_HOME", c.cacheHome.wstring()};
        for (const WideString& argument : argumentsFor(config, release)) {
            EXPECT_FALSE(tstrings::hasPrefix(argument, L"-XX:")) << tstrings::wideToUtf8(argument);
        }
    }
    // Nothing was written through the link.
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
}
#endif

} // namespace
