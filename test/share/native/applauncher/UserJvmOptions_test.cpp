// The user's JVM options file: which lines reach the JVM, where the file is,
// and what the trace says about every line left out.

#include "UserJvmOptions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "AppLauncher.h"
#include "EnvGuard.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "LogCapture.h"
#include "Platform.h"
#include "TempDir.h"

namespace {

std::string utf8(const WideString& text) {
    return tstrings::wideToUtf8(text);
}

std::filesystem::path fsPath(const WideString& path) {
#ifdef _WIN32
    return std::filesystem::path(path);
#else
    return std::filesystem::path(utf8(path));
#endif
}

void writeBytes(const WideString& path, const std::string& bytes) {
    std::filesystem::create_directories(fsPath(path).parent_path());
    std::ofstream out(fsPath(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    ASSERT_TRUE(out.good()) << "cannot write " << utf8(path);
}

// The trace lines about one file, without the file's name and the ", " or
// ": " after it.
WideStringList traceOf(const ScopedLogCapture& capture, const WideString& path) {
    const WideString head = L"User JVM options file \"" + path + L"\"";
    WideStringList lines;
    for (const LogRecord& record : capture.records()) {
        if (record.text.compare(0, head.size(), head) == 0) {
            lines.push_back(record.text.substr(head.size() + 2));
        }
    }
    return lines;
}

bool anyTrace(const ScopedLogCapture& capture, const WideString& text) {
    for (const LogRecord& record : capture.records()) {
        if (record.text == text) {
            return true;
        }
    }
    return false;
}

TEST(UserJvmOptionsRefusal, AllowedOnlyByAPrefixAndNeverASecondArgument) {
    const WideString noPrefix = L"no allowed prefix matches it";
    const WideString fromFile = L"it reads JVM options from a file, which only an allowed prefix "
                                L"that names the option itself allows";
    const WideString runsCode = L"it runs a command or loads code, which only an allowed prefix "
                                L"that names the option itself allows";
    struct Case {
        const wchar_t* option;
        WideStringList prefixes;
        WideString reason;  // empty: allowed
    } cases[] = {
        {L"-Xmx1g", {L"-Xms", L"-Xmx"}, L""},
        {L"-Xmx", {L"-Xmx"}, L""},
        {L"-Xms1g", {L"-Xmx"}, noPrefix},
        {L"-xmx1g", {L"-Xmx"}, noPrefix},
        {L" -Xmx1g", {L"-Xmx"}, noPrefix},
        {L"-Xmx1g", {}, noPrefix},
        {L"-Xmx1g", {L""}, noPrefix},
        {L"-Dhttps.proxyHost=proxy", {L"-Dhttps.proxyHost="}, L""},
        {L"-Dhttps.proxyHostile=1", {L"-Dhttps.proxyHost="}, noPrefix},
        {L"-Djava.security.manager=allow", {L"-Duser.language=", L"-Xmx"}, noPrefix},
        {L"-javaagent:agent.jar", {L"-Xmx", L"-D"}, noPrefix},
        {L"-XX:+UnlockDiagnosticVMOptions", {L"-XX:MaxRAM"}, noPrefix},
        {L"-XX:+UseZGC", {L"-XX:"}, L""},
        // Options that read more options from a file need a prefix that
        // names them; a broader one does not do.
        {L"-XX:Flags=.hotspotrc", {L"-XX:"}, fromFile},
        {L"-XX:VMOptionsFile=x", {L"-XX:", L"-"}, fromFile},
        {L"-XX:VMOptionsFile=/etc/app/x", {L"-XX:", L"-XX:VMOptionsFile=/etc/app/"}, L""},
        {L"-XX:Flags=x", {L"-XX:Flags="}, L""},
        {L"@args.txt", {L"-"}, noPrefix},
        // Options that run a command or load code: the same.
        {L"-XX:OnOutOfMemoryError=touch /tmp/x", {L"-XX:"}, runsCode},
        {L"-XX:OnError=sh -c id", {L"-XX:", L"-XX:On"}, runsCode},
        {L"-XX:OnError=report", {L"-XX:OnError="}, L""},
        {L"-agentlib:jdwp=transport=dt_socket", {L"-"}, runsCode},
        {L"-agentpath:/tmp/a.so", {L"-agent"}, runsCode},
        {L"-javaagent:a.jar", {L"-javaagent:"}, L""},
        {L"-Xrunhprof", {L"-X"}, runsCode},
        {L"-Xbootclasspath/a:/tmp/x.jar", {L"-X"}, runsCode},
        {L"-Xbootclasspath/a:/opt/x.jar", {L"-Xbootclasspath/a:"}, L""},
        {L"-Djava.system.class.loader=Evil", {L"-D"}, runsCode},
        {L"-Djava.library.path=/tmp", {L"-D", L"-Djava.library.path"}, runsCode},
        {L"-Djava.library.path=/opt/lib", {L"-Djava.library.path="}, L""},
        {L"--patch-module=java.base=/tmp/x", {L"--"}, runsCode},
        {L"--upgrade-module-path=/tmp", {L"--"}, runsCode},
        {L"-Duser.language=de", {L"-D"}, L""},
        {L"@args.txt", {L"@"}, L""},
        // One line is one argument: never the name of an option whose value
        // is the next one.
        {L"--add-opens", {L"--add-opens"},
         L"\"--add-opens\" takes its value from the next argument, and a line is one argument"},
        {L"-cp", {L"-"}, L"\"-cp\" takes its value from the next argument, and a line is one argument"},
        {L"-jar", {L"-"}, L"\"-jar\" takes its value from the next argument, and a line is one argument"},
        {L"--add-opens=java.base/java.lang=ALL-UNNAMED", {L"--add-opens="}, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf8(c.option));
        EXPECT_EQ(UserJvmOptions::refusal(c.option, c.prefixes), c.reason);
    }
}

TEST(UserJvmOptionsLocation, VariableNameFromTheApplicationName) {
    const struct {
        const wchar_t* application;
        const wchar_t* variable;
    } cases[] = {
        {L"Demo", L"DEMO_JVMOPTS_FILE"},
        {L"my-app_2", L"MY_APP_2_JVMOPTS_FILE"},
        {L"Orbit Demo", L"ORBIT_DEMO_JVMOPTS_FILE"},
        {L"J\u00F6rg", L"J_RG_JVMOPTS_FILE"},
        {L"7zip", L"_7ZIP_JVMOPTS_FILE"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UserJvmOptions::fileVariableName(c.application), c.variable);
    }
}

TEST(UserJvmOptionsLocation, VariableOverridesTheUsersConfigDirectory) {
    TempDir temp;
    const WideString sep(1, platform::pathSeparator);
#ifdef _WIN32
    EnvGuard settings(L"APPDATA", temp.widePath());
    const WideString configDirectory = temp.widePath();
#else
    EnvGuard xdg(L"XDG_CONFIG_HOME", temp.widePath());
    EnvGuard home(L"HOME", L"/home/nobody");
    const WideString configDirectory = temp.widePath();
#endif
    EnvGuard variable(L"VX_DEMO_JVMOPTS_FILE");
    const WideString usual = configDirectory + sep + L"vx-demo" + sep + L"vx-demo.jvmopts";
    const struct {
        std::optional<WideString> variable;
        WideString expected;
    } cases[] = {
        {std::nullopt, usual},
        {WideString(L"D:\\USB\\\u00FCber.jvmopts"), L"D:\\USB\\\u00FCber.jvmopts"},
        {WideString(), WideString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variable ? utf8(*c.variable) : "(unset)");
        if (c.variable) {
            variable.set(*c.variable);
        } else {
            variable.unset();
        }
        EXPECT_EQ(UserJvmOptions::filePath(L"vx-demo"), c.expected);
    }
}

#ifndef _WIN32
TEST(UserJvmOptionsLocation, XdgConfigHomeOnlyWhenAbsolute) {
    const struct {
        std::optional<WideString> xdg;
        std::optional<WideString> home;
        WideString expected;
    } cases[] = {
        {WideString(L"/xdg"), WideString(L"/home/u"), L"/xdg"},
        {WideString(L"relative/xdg"), WideString(L"/home/u"), L"/home/u/.config"},
        {WideString(), WideString(L"/home/u"), L"/home/u/.config"},
        {std::nullopt, WideString(L"/home/u"), L"/home/u/.config"},
        {std::nullopt, std::nullopt, L""},
        {std::nullopt, WideString(), L""},
        // Relative: it would be looked up from the current directory.
        {std::nullopt, WideString(L"home/u"), L""},
        {WideString(L"relative/xdg"), WideString(L"."), L""},
    };
    for (const auto& c : cases) {
        EnvGuard xdg(L"XDG_CONFIG_HOME", c.xdg);
        EnvGuard home(L"HOME", c.home);
        EXPECT_EQ(UserJvmOptions::userConfigDirectory(), c.expected);
    }
}
#endif

#ifdef _WIN32
TEST(UserJvmOptionsLocation, AppDataOnlyWhenAbsolute) {
    const struct {
        std::optional<WideString> appData;
        WideString expected;
    } cases[] = {
        {WideString(L"C:\\Users\\u\\AppData\\Roaming"), L"C:\\Users\\u\\AppData\\Roaming"},
        {WideString(L"AppData\\Roaming"), L""},
        {WideString(L"C:AppData"), L""},
        {std::nullopt, L""},
    };
    for (const auto& c : cases) {
        EnvGuard appData(L"APPDATA", c.appData);
        EXPECT_EQ(UserJvmOptions::userConfigDirectory(), c.expected);
    }
}
#endif

class UserJvmOptionsFile : public ::testing::Test {
protected:
    WideString pathOf(const WideString& name) const {
        return temp.widePath() + WideString(1, platform::pathSeparator) + name;
    }

    TempDir temp;
    ScopedLogCapture capture;
};

TEST_F(UserJvmOptionsFile, EveryLineLeftOutIsTracedWithItsNumberAndReason) {
    const WideString path = pathOf(L"Pr\u00FCfung \u65E5\u672C.jvmopts");
    // The longest line that is kept and one byte more.
    const std::string longest = "-Dlong=" + std::string(UserJvmOptions::maxLineBytes - 7, 'x');
    const WideString nonAscii = L"-Dname=J\u00F6rg \u65E5\u672C";
    const std::string lines[] = {
        "\xEF\xBB\xBF-Xmx2g\r",          // 1
        "# a comment\r",                  // 2
        "\r",                             // 3
        "  \t-Dapp.data=$APPDIR/data  ",  // 4
        "-javaagent:evil.jar",            // 5
        "-Xmx1g -javaagent:evil.jar",     // 6
        "-Dapp.x=caf\xE9",                // 7
        longest,                          // 8
        longest + "y",                    // 9
        "-Dapp.nul=a\x01"
        "b",                              // 10
        "   # indented comment",          // 11
        utf8(nonAscii),                   // 12
        "-XX:Flags=.hotspotrc",           // 13
        std::string(70000, 'x'),          // 14, past the read buffer
    };
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line + "\n";
    }
    writeBytes(path, bytes + "-Xss4m"); // 15, no LF
    const WideStringList prefixes = {L"-Xmx", L"-Xss", L"-Dapp.", L"-Dlong=", L"-Dname=", L"-XX:"};
    const WideStringList options = UserJvmOptions::readFile(path, prefixes, {{L"$APPDIR", L"/img/app"}});

    std::string ansi;
    const bool representable = tstrings::wideToAnsiExact(nonAscii, ansi);
    WideStringList expected = {L"-Xmx2g", L"-Dapp.data=/img/app/data", L"-Xmx1g -javaagent:evil.jar",
                               tstrings::utf8ToWide(longest)};
    if (representable) {
        expected.push_back(nonAscii);
    }
    expected.push_back(L"-Xss4m");
    EXPECT_EQ(options, expected);

    WideStringList leftOut;
    for (const WideString& line : traceOf(capture, path)) {
        if (line.find(L"left out") != WideString::npos) {
            leftOut.push_back(line);
        }
    }
    WideStringList expectedLeftOut = {
        L"line 5: left out, \"-javaagent:evil.jar\": no allowed prefix matches it",
        L"line 7: left out, it is not valid UTF-8 text",
        L"line 9: left out, it is longer than 4096 bytes",
        L"line 10: left out, it holds a control character",
    };
    if (!representable) {
        expectedLeftOut.push_back(L"line 12: left out, \"" + nonAscii +
                                  L"\": it has characters that the ANSI code page " +
                                  std::to_wstring(platform::ansiCodePage()) + L" cannot represent");
    }
    expectedLeftOut.push_back(L"line 13: left out, \"-XX:Flags=.hotspotrc\": it reads JVM options from a "
                              L"file, which only an allowed prefix that names the option itself allows");
    expectedLeftOut.push_back(L"line 14: left out, it is longer than 4096 bytes");
    EXPECT_EQ(leftOut, expectedLeftOut);
}

TEST_F(UserJvmOptionsFile, AMissingOrUnreadableFileIsSkipped) {
    const WideString missing = pathOf(L"missing.jvmopts");
    EXPECT_EQ(UserJvmOptions::readFile(missing, {L"-"}, {}), WideStringList());
    EXPECT_TRUE(anyTrace(capture, L"No user JVM options file \"" + missing + L"\""));

    // A directory: Windows cannot open it, POSIX fails on the first read.
    const WideString folder = pathOf(L"folder.jvmopts");
    std::filesystem::create_directories(fsPath(folder));
    EXPECT_EQ(UserJvmOptions::readFile(folder, {L"-"}, {}), WideStringList());
    const WideStringList trace = traceOf(capture, folder);
    ASSERT_FALSE(trace.empty());
    const WideString skipped = trace.back();
#ifdef _WIN32
    const WideString reason = L"skipped, it cannot be opened: ";
#else
    const WideString reason = L"skipped, it cannot be read up to the end: ";
#endif
    EXPECT_EQ(skipped.compare(0, reason.size(), reason), 0) << utf8(skipped);
    EXPECT_GT(skipped.size(), reason.size()) << "the reason's text is missing";
}

#ifndef _WIN32
// A file that another user wrote, or could have, is never read.
TEST_F(UserJvmOptionsFile, AFileThatIsNotTheUsersAloneIsSkipped) {
    const struct {
        const char* name;
        mode_t mode;
        bool otherOwner; // root only: given to user nobody
        const char* reason;
    } cases[] = {
        {"group.jvmopts", 0664, false, "skipped, others may write it (mode 664)"},
        {"others.jvmopts", 0646, false, "skipped, others may write it (mode 646)"},
        {"nobody.jvmopts", 0644, true, "skipped, it belongs to user 65534, not to user 0 who runs the launcher"},
        {"own.jvmopts", 0600, false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.otherOwner && ::geteuid() != 0) {
            continue;
        }
        const WideString path = pathOf(tstrings::utf8ToWide(c.name));
        writeBytes(path, "-Xmx1g\n");
        ASSERT_EQ(::chmod(utf8(path).c_str(), c.mode), 0);
        if (c.otherOwner) {
            ASSERT_EQ(::chown(utf8(path).c_str(), 65534, 65534), 0);
        }
        const WideStringList options = UserJvmOptions::readFile(path, {L"-Xmx"}, {});
        if (c.reason == nullptr) {
            EXPECT_EQ(options, WideStringList{L"-Xmx1g"});
            continue;
        }
        EXPECT_EQ(options, WideStringList());
        EXPECT_EQ(traceOf(capture, path), WideStringList{tstrings::utf8ToWide(c.reason)});
    }
}
#endif

// The whole way through the application launcher: where the allowed user
// options go in the JVM argument list, and that without an allowlist the
// file is never read.
class UserJvmOptionsLaunch : public ::testing::Test {
protected:
    UserJvmOptionsLaunch() : variable(L"VX_DEMO_JVMOPTS_FILE") {
#ifdef _WIN32
        const std::filesystem::path library = temp.path() / "runtime" / "bin" / "jli.dll";
        launcher.withJvmLibraryCandidate(L"bin\\jli.dll");
#else
        const std::filesystem::path library = temp.path() / "runtime" / "lib" / "libjli.so";
        launcher.withJvmLibraryCandidate(L"lib/libjli.so");
#endif
        std::filesystem::create_directories(library.parent_path());
        std::ofstream(library) << "stub";
        std::filesystem::create_directories(temp.path() / "app");
        launcher.withRootDirectory(root())
            .withAppDirectory(appDir())
            .withLibrarySearchVariable(L"VX_TEST_SEARCH_PATH")
            .withDefaultRuntimeDirectory(FileUtils::joinPath(root(), L"runtime"));
        // A file name with letters of three scripts, named by the variable.
        userFile = FileUtils::joinPath(root(), L"\u00FCber \u0416 \u65E5.jvmopts");
        variable.set(userFile);
    }

    WideString root() const { return temp.widePath(); }
    WideString appDir() const { return FileUtils::joinPath(root(), L"app"); }
    WideString executable() const { return FileUtils::joinPath(root(), L"vx-demo.exe"); }
    void writeConfig(const std::string& text) const {
        writeBytes(FileUtils::joinPath(appDir(), L"vx-demo.cfg"), text);
    }

    TempDir temp;
    EnvGuard variable;
    EnvGuard searchPath{L"VX_TEST_SEARCH_PATH"};
    AppLauncher launcher{executable(), {L"arg"}};
    WideString userFile;
};

TEST_F(UserJvmOptionsLaunch, AllowedOptionsFollowThePackagedOnes) {
    writeBytes(userFile, "-Xmx2g\n-Dapp.dir=$APPDIR\n-Djava.security.manager=allow\n");
    const std::string packaged = "[JavaOptions]\njava-options=-Xmx512m\njava-options=-Dpackaged=1\n";
    const WideString appPath = L"-Dvantorix.app-path=" + executable();
    const struct {
        const char* what;
        std::string config;
        WideStringList expected;
    } cases[] = {
        {"allowed", "[Application]\napp.mainclass=Main\napp.user-options=-Xmx\napp.user-options=-Dapp.\n" + packaged,
         {executable(), L"-Xmx512m", L"-Dpackaged=1", L"-Xmx2g", L"-Dapp.dir=" + appDir(), appPath, L"Main",
          L"arg"}},
        {"no allowlist", "[Application]\napp.mainclass=Main\n" + packaged, {executable(), L"-Xmx512m", L"-Dpackaged=1", appPath, L"Main", L"arg"}},
        {"allowed, no packaged options",
         "[Application]\napp.mainclass=Main\napp.user-options=-Xmx\n",
         {executable(), L"-Xmx2g", appPath, L"Main", L"arg"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeConfig(c.config);
        EXPECT_EQ(launcher.createJvmLauncher()->arguments(), c.expected);
    }
}

} // namespace
