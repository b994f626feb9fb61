// The launcher's side of the single instance: the forward message, and the
// exchange with a scripted instance in place of the socket.

#include "SingleInstance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "EnvGuard.h"
#include "FileUtils.h"
#include "ImageLaunch.h"
#include "InstanceMessage.h"
#include "JvmLauncher.h"
#include "TempDir.h"

namespace {

std::string number(std::uint32_t value) {
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
    return bytes;
}

TEST(InstanceMessage, EncodesTheDirectoryAndTheArgumentsAsUtf8Texts) {
    std::string message;
    WideString why;
    ASSERT_TRUE(InstanceMessage::encodeForward(L"/w", {L"a b", L"\u00fc\U0001D11E", L""}, message, why));
    EXPECT_EQ(message, "VXF1" + number(4) + number(2) + "/w" + number(3) + "a b" + number(6) +
                           "\xC3\xBC\xF0\x9D\x84\x9E" + number(0));
}

TEST(InstanceMessage, RefusesWhatTheInstanceWouldDrop) {
    const WideString loneSurrogate(1, static_cast<wchar_t>(0xDC80));
    const struct {
        const char* what;
        WideString directory;
        WideStringList arguments;
        bool encoded;
    } cases[] = {
        {"as many arguments as the bound allows", L"/", WideStringList(InstanceMessage::maxTexts - 1, L"a"), true},
        {"one more", L"/", WideStringList(InstanceMessage::maxTexts, L"a"), false},
        {"exactly the byte bound", L"/", {WideString(InstanceMessage::maxTextBytes - 1, L'x')}, true},
        {"a byte more", L"/", {WideString(InstanceMessage::maxTextBytes, L'x')}, false},
        {"an argument whose bytes are not UTF-8", L"/", {L"a" + loneSurrogate}, false},
        {"such a working directory", L"/" + loneSurrogate, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string message;
        WideString why;
        EXPECT_EQ(InstanceMessage::encodeForward(c.directory, c.arguments, message, why), c.encoded);
        EXPECT_EQ(why.empty(), c.encoded) << tstrings::wideToUtf8(why);
    }
}

// An instance that answers from a script and records what it was sent.
class ScriptedConnection : public InstanceConnection {
public:
    explicit ScriptedConnection(std::string answers, std::string* sent) : answers(std::move(answers)), sent(sent) {}
    void send(const std::string& bytes) override { *sent += bytes; }
    std::string receive(std::size_t count) override {
        if (answers.size() < count) {
            throw std::runtime_error("the instance closed the connection");
        }
        std::string bytes = answers.substr(0, count);
        answers.erase(0, count);
        return bytes;
    }

private:
    std::string answers;
    std::string* sent;
};

// A socket that moves at most two bytes per call.
class TrickleConnection : public StreamConnection {
public:
    explicit TrickleConnection(std::string incoming) : StreamConnection(L"/run/Demo.sock"), incoming(std::move(incoming)) {}
    std::string outgoing;

private:
    std::size_t sendSome(const char* data, std::size_t size) override {
        const std::size_t taken = std::min<std::size_t>(size, 2);
        outgoing.append(data, taken);
        return taken;
    }
    std::size_t receiveSome(char* data, std::size_t size) override {
        const std::size_t given = std::min<std::size_t>({size, 2, incoming.size()});
        incoming.copy(data, given);
        incoming.erase(0, given);
        return given;
    }
    std::string incoming;
};

TEST(SingleInstance, AStreamConnectionJoinsPiecesAndStopsAtAClose) {
    TrickleConnection connection("greeting!");
    connection.send("a message");
    EXPECT_EQ(connection.outgoing, "a message");
    EXPECT_EQ(connection.receive(8), "greeting");
    EXPECT_EQ(connection.receive(1), "!");
    try {
        connection.receive(1);
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("the instance at \"/run/Demo.sock\" closed the connection"),
                  std::string::npos)
            << error.what();
    }
}

TEST(SingleInstance, ForwardsOnlyWhenTheInstanceGreetsAndAccepts) {
    const std::string greeting = "VXI1" + number(4242);
    const struct {
        const char* what;
        bool listening;
        std::string answers;
        bool forwarded;
        bool messageSent;
    } cases[] = {
        {"greeted and accepted", true, greeting + "A", true, true},
        {"nothing listens", false, "", false, false},
        {"closed before greeting", true, "", false, false},
        {"something else answers", true, "HTTP/1.1" + std::string("A"), false, false},
        {"closed without accepting", true, greeting, false, true},
        {"refused", true, greeting + "N", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string sent;
        std::uint32_t permitted = 0;
        InstanceLink link;
        link.endpoint = [](const WideString&) { return WideString(L"/run/Demo.sock"); };
        link.connect = [&](const WideString& endpoint) -> std::unique_ptr<InstanceConnection> {
            EXPECT_EQ(endpoint, L"/run/Demo.sock");
            if (!c.listening) {
                throw std::runtime_error("no instance listens");
            }
            return std::make_unique<ScriptedConnection>(c.answers, &sent);
        };
        link.permitForeground = [&](std::uint32_t processId) { permitted = processId; };
        link.workingDirectory = [] { return WideString(L"/w"); };

        EXPECT_EQ(forwardToInstance(link, L"/run/Demo.sock", {L"x"}), c.forwarded);
        EXPECT_EQ(sent.empty(), !c.messageSent);
        // The foreground goes to the instance before it reads the message.
        EXPECT_EQ(permitted, c.messageSent ? 4242u : 0u);
    }
}

TEST(SingleInstance, AForwardedStartBuildsNoJvmAndOneOnItsOwnNamesTheEndpoint) {
    TempDir temp;
    std::filesystem::create_directories(temp.path() / "app");
    std::filesystem::create_directories(temp.path() / "runtime" / "lib");
    std::ofstream(temp.path() / "runtime" / "lib" / "jli") << "stub";
    // Listed, so that no start restarts.
    EnvGuard searchPath(L"VX_TEST_SEARCH_PATH");
    searchPath.set(FileUtils::joinPath(temp.widePath(), L"app"));

    const char* const single = "[Application]\napp.mainclass=Main\napp.single-instance=true\n";
    const struct {
        const char* what;
        const char* config;
        bool restarted;
        bool instanceAccepts;
        const char* expected;  // what the launch did
    } cases[] = {
        {"forwarded", single, false, true, "forwarded"},
        {"no instance", single, false, false, "-Dvantorix.instance-endpoint=/run/Demo.sock"},
        // The process before it has tried.
        {"a restart", single, true, true, "-Dvantorix.instance-endpoint=/run/Demo.sock"},
        {"not asked for", "[Application]\napp.mainclass=Main\napp.single-instance=false\n", false, true,
         "-Dvantorix.app-path="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(temp.path() / "app" / "Demo.cfg") << c.config;
        std::string seen = "forwarded";
        std::string sent;
        PlatformLaunch platform;
        platform.executablePath = FileUtils::joinPath(temp.widePath(), L"Demo");
        platform.commandArgs = {L"doc.txt"};
        platform.jvmLibrary = L"lib/jli";
        platform.librarySearchVariable = L"VX_TEST_SEARCH_PATH";
        platform.pathListSeparator = L'|';
        platform.pathComparison = tstrings::Exact;
        platform.takeRestartMark = [&] { return c.restarted; };
        platform.restart = [](const WideString&) { FAIL() << "no restart"; };
        platform.runInProcess = [&](Jvm& jvm) {
            // The launcher's properties, the endpoint last, then the main class.
            const WideStringList& arguments = jvm.arguments();
            seen = tstrings::wideToUtf8(arguments[arguments.size() - 3]).substr(0, std::string(c.expected).size());
        };
        platform.instances.endpoint = [](const WideString& name) {
            EXPECT_EQ(name, L"Demo");
            return WideString(L"/run/Demo.sock");
        };
        platform.instances.connect = [&](const WideString&) -> std::unique_ptr<InstanceConnection> {
            if (!c.instanceAccepts) {
                throw std::runtime_error("no instance listens");
            }
            return std::make_unique<ScriptedConnection>("VXI1" + number(1) + "A", &sent);
        };
        platform.instances.workingDirectory = [] { return WideString(L"/w"); };
        launchImage(platform);
        EXPECT_EQ(seen, c.expected);
    }
}

} // namespace
