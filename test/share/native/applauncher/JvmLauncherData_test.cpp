#include "JvmLauncherData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "Log.h"
#include "LogCapture.h"
#include "EnvGuard.h"
#include "tstrings.h"

namespace {

constexpr std::size_t headerSize = sizeof(JvmlLauncherData);
constexpr std::size_t pointerSize = sizeof(char*);

std::uintptr_t addressOf(const void* pointer) {
    return reinterpret_cast<std::uintptr_t>(pointer);
}

// Element i of the block's (unaligned) pointer array.
const char* slotOf(const JvmlLauncherData* block, std::size_t i) {
    const char* value = nullptr;
    std::memcpy(&value, reinterpret_cast<const char*>(block->argumentVector) + i * pointerSize,
                pointerSize);
    return value;
}

void appendBytes(std::vector<unsigned char>& out, const void* bytes, std::size_t count) {
    const unsigned char* begin = static_cast<const unsigned char*>(bytes);
    out.insert(out.end(), begin, begin + count);
}

void appendPointer(std::vector<unsigned char>& out, std::uintptr_t value) {
    appendBytes(out, &value, pointerSize);
}

TEST(JvmLauncherDataTest, ExampleBlockMatchesLayoutByteForByte) {
    JliLaunchDataOwner data = createJliLaunchData("ab", {"x", "yz"});
    const LaunchDataApi& api = launchDataApi();

    const std::int32_t size = api.getJvmlLauncherDataSize(data.get());
    const std::size_t pathOffset = headerSize;
    const std::size_t arrayOffset = pathOffset + 3;
    const std::size_t xOffset = arrayOffset + 3 * pointerSize;
    const std::size_t yzOffset = xOffset + 2;
    const std::size_t expectedSize = yzOffset + 3;
    if (pointerSize == 4) {
        ASSERT_EQ(12u, headerSize);
        EXPECT_EQ(15u, arrayOffset);
        EXPECT_EQ(27u, xOffset);
        EXPECT_EQ(29u, yzOffset);
        EXPECT_EQ(32u, expectedSize);
    } else {
        ASSERT_EQ(24u, headerSize);
    }
    ASSERT_EQ(static_cast<std::int32_t>(expectedSize), size);

    JvmlLauncherDataBlock buffer(static_cast<JvmlLauncherData*>(std::malloc(expectedSize)));
    ASSERT_TRUE(buffer);
    JvmlLauncherData* block = api.initJvmlLauncherData(data.get(), buffer.get(), size);
    ASSERT_EQ(buffer.get(), block);

    const std::uintptr_t base = addressOf(block);
    std::vector<unsigned char> expected;
    appendPointer(expected, base + pathOffset);
    const std::int32_t count = 2;
    appendBytes(expected, &count, sizeof count);
    expected.resize(offsetof(JvmlLauncherData, argumentVector), 0); // header padding is zeroed
    appendPointer(expected, base + arrayOffset);
    appendBytes(expected, "ab", 3);
    appendPointer(expected, base + xOffset);
    appendPointer(expected, base + yzOffset);
    appendPointer(expected, 0);
    appendBytes(expected, "x", 2);
    appendBytes(expected, "yz", 3);
    ASSERT_EQ(expectedSize, expected.size());

    const unsigned char* actual = reinterpret_cast<const unsigned char*>(block);
    EXPECT_EQ(expected, std::vector<unsigned char>(actual, actual + expectedSize));
    EXPECT_STREQ("ab", block->launcherLibraryPath);
    EXPECT_STREQ("yz", slotOf(block, 1));
}

TEST(JvmLauncherDataTest, EmptyArgumentListHoldsOnlyTheTerminator) {
    JliLaunchDataOwner data = createJliLaunchData("lib", {});
    JvmlLauncherDataBlock block(buildLauncherDataBlock(&launchDataApi(), data.release()));
    ASSERT_TRUE(block);
    EXPECT_EQ(0, block->argumentCount);
    EXPECT_STREQ("lib", block->launcherLibraryPath);
    EXPECT_EQ(addressOf(block.get()) + headerSize + 4, addressOf(block->argumentVector));
    EXPECT_EQ(nullptr, slotOf(block.get(), 0));

    JliLaunchDataOwner measured = createJliLaunchData("lib", {});
    EXPECT_EQ(static_cast<std::int32_t>(headerSize + 4 + pointerSize),
              launchDataApi().getJvmlLauncherDataSize(measured.get()));
}

TEST(JvmLauncherDataTest, OnlyTheExactBufferSizeSucceeds) {
    struct Case {
        int extraBytes;
        bool written;
        bool succeeds;
    };
    const Case cases[] = {{-1, false, false}, {0, true, true}, {1, true, false}};
    const LaunchDataApi& api = launchDataApi();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extraBytes);
        JliLaunchDataOwner data = createJliLaunchData("path", {"a", "bc"});
        const std::int32_t size = api.getJvmlLauncherDataSize(data.get());
        ASSERT_GT(size, 0);
        const std::int32_t bufferSize = size + c.extraBytes;
        JvmlLauncherDataBlock buffer(
            static_cast<JvmlLauncherData*>(std::malloc(static_cast<std::size_t>(bufferSize))));
        ASSERT_TRUE(buffer);
        std::memset(buffer.get(), 0xA5, static_cast<std::size_t>(bufferSize));

        JvmlLauncherData* result = api.initJvmlLauncherData(data.get(), buffer.get(), bufferSize);

        EXPECT_EQ(c.succeeds ? buffer.get() : nullptr, result);
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(buffer.get());
        const bool untouched = std::all_of(bytes, bytes + bufferSize,
                                           [](unsigned char b) { return b == 0xA5; });
        EXPECT_EQ(!c.written, untouched);
        if (c.written) {
            EXPECT_STREQ("path", buffer->launcherLibraryPath);
            EXPECT_STREQ("bc", slotOf(buffer.get(), 1));
        }
    }
}

TEST(JvmLauncherDataTest, SizeArithmeticRejectsBlocksBeyondThe32BitLimit) {
    constexpr std::uint64_t limit = std::numeric_limits<std::int32_t>::max();
    constexpr std::uint64_t huge = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t fixed = headerSize + 1 + pointerSize; // empty path, no arguments
    struct Case {
        std::uint64_t pathLength, argumentCount, argumentBytes;
        std::int32_t expected;
    };
    const Case cases[] = {
        {2, 2, 5, static_cast<std::int32_t>(headerSize + 3 + 3 * pointerSize + 5)},
        {0, 0, 0, static_cast<std::int32_t>(fixed)},
        // The largest block that fits, and one byte more.
        {limit - fixed, 0, 0, std::numeric_limits<std::int32_t>::max()},
        {limit - fixed + 1, 0, 0, -1},
        {0, 0, limit - fixed, std::numeric_limits<std::int32_t>::max()},
        {0, 0, limit - fixed + 1, -1},
        // A pointer array that alone passes the limit.
        {0, limit / pointerSize, limit / pointerSize, -1},
        // Values that would wrap a 32-bit or even a 64-bit sum.
        {0xFFFFFFFFu, 0, 0, -1},
        {0, 0xFFFFFFFFu, 0, -1},
        {0, 0x40000000u, 0, -1},
        {huge, huge, huge, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pathLength << " " << c.argumentCount << " "
                                        << c.argumentBytes);
        EXPECT_EQ(c.expected, jvmlLauncherDataSize(c.pathLength, c.argumentCount, c.argumentBytes));
    }
}

TEST(JvmLauncherDataTest, TraceLinesNameTheMemberAndTheSizes) {
    ScopedLogCapture capture;
    JliLaunchDataOwner data = createJliLaunchData("ab", {"x", "yz"});
    const std::int32_t size = launchDataApi().getJvmlLauncherDataSize(data.get());
    JvmlLauncherDataBlock block(buildLauncherDataBlock(&launchDataApi(), data.release()));
    ASSERT_TRUE(block);

    const WideString need = L"Need " + std::to_wstring(size) + L" bytes for JvmlLauncherData buffer";
    const WideString initialized = L"Initialized " + std::to_wstring(size) + L" bytes at ";
    const std::vector<WideString> texts =
        capture.textsOf(L"`anonymous-namespace'::JliLaunchData::initJvmlLauncherData");
    // One measurement above, then the launch's own: measure, measure, fill.
    ASSERT_EQ(4u, texts.size());
    EXPECT_EQ(need, texts[0]);
    EXPECT_EQ(need, texts[1]);
    EXPECT_EQ(need, texts[2]);
    EXPECT_EQ(initialized, texts[3].substr(0, initialized.size()));
    EXPECT_EQ(L" address", texts[3].substr(texts[3].size() - 8));
}

TEST(JvmLauncherDataTest, BlockKeepsEveryByteOfTheArguments) {
    const std::string odd = "caf\xE9 \xFF\"q\" \\ end";
    JliLaunchDataOwner data = createJliLaunchData("C:\\rt\\bin\\jli.dll", {"prog", odd, ""});
    JvmlLauncherDataBlock block(buildLauncherDataBlock(&launchDataApi(), data.release()));
    ASSERT_TRUE(block);
    ASSERT_EQ(3, block->argumentCount);
    EXPECT_STREQ("C:\\rt\\bin\\jli.dll", block->launcherLibraryPath);
    EXPECT_EQ("prog", std::string(slotOf(block.get(), 0)));
    EXPECT_EQ(odd, std::string(slotOf(block.get(), 1)));
    EXPECT_EQ("", std::string(slotOf(block.get(), 2)));
    EXPECT_EQ(nullptr, slotOf(block.get(), 3));
}

TEST(JvmLauncherDataTest, ExportedTableIsTheProgramsOwn) {
    ASSERT_NE(nullptr, jvmLauncherGetAPI());
    EXPECT_EQ(&launchDataApi(), jvmLauncherGetAPI());
    EXPECT_EQ(jvmLauncherGetAPI(), jvmLauncherGetAPI());
    // Slot 0 tolerates a null handle.
    launchDataApi().releaseJliLaunchData(nullptr);
}

// A table whose slots count their calls and answer as the test says.
struct FakeSlots {
    int releases = 0;
    int sizeCalls = 0;
    int initCalls = 0;
    std::int32_t size = 0;
    bool initSucceeds = true;
};
FakeSlots fake;

void fakeRelease(JliLaunchDataHandle) {
    ++fake.releases;
}

std::int32_t fakeSize(JliLaunchDataHandle) {
    ++fake.sizeCalls;
    return fake.size;
}

JvmlLauncherData* fakeInit(JliLaunchDataHandle, void* buffer, std::int32_t) {
    ++fake.initCalls;
    return fake.initSucceeds ? static_cast<JvmlLauncherData*>(buffer) : nullptr;
}

const LaunchDataApi fakeApi = {fakeRelease, fakeSize, fakeInit};

TEST(BuildLauncherDataBlockTest, NullHandleUsesNoSlot) {
    fake = FakeSlots{};
    fake.size = 64;
    EXPECT_EQ(nullptr, buildLauncherDataBlock(&fakeApi, nullptr));
    EXPECT_EQ(0, fake.releases + fake.sizeCalls + fake.initCalls);
}

TEST(BuildLauncherDataBlockTest, ReleasesTheHandleExactlyOnce) {
    struct Case {
        const char* name;
        std::int32_t size;
        bool initSucceeds;
        bool made;
        int initCalls;
    };
    const Case cases[] = {
        {"made", 64, true, true, 1},
        {"fill fails", 64, false, false, 1},
        {"measure fails", -1, true, false, 0},
        {"empty size", 0, true, false, 0},
    };
    int token = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake = FakeSlots{};
        fake.size = c.size;
        fake.initSucceeds = c.initSucceeds;

        JvmlLauncherDataBlock block(buildLauncherDataBlock(&fakeApi, &token));

        EXPECT_EQ(c.made, static_cast<bool>(block));
        EXPECT_EQ(1, fake.releases);
        EXPECT_EQ(1, fake.sizeCalls);
        EXPECT_EQ(c.initCalls, fake.initCalls);
    }
}

// What the fake runtime entry received.
struct EntryCall {
    int calls = 0;
    int argc = -1;
    char** argv = nullptr;
    int jargc = -1;
    const char** jargv = nullptr;
    int appclassc = -1;
    const char** appclassv = nullptr;
    std::string fullversion, dotversion, pname, lname;
    int flags[4] = {-1, -1, -1, -1};
    int result = 0;
};
EntryCall entryCall;

int VX_JLI_CALL fakeEntry(int argc, char** argv, int jargc, const char** jargv, int appclassc,
                          const char** appclassv, const char* fullversion,
                          const char* dotversion, const char* pname, const char* lname,
                          int javaargs, int cpwildcard, int javaw, int ergo) {
    ++entryCall.calls;
    entryCall.argc = argc;
    entryCall.argv = argv;
    entryCall.jargc = jargc;
    entryCall.jargv = jargv;
    entryCall.appclassc = appclassc;
    entryCall.appclassv = appclassv;
    entryCall.fullversion = fullversion;
    entryCall.dotversion = dotversion;
    entryCall.pname = pname;
    entryCall.lname = lname;
    entryCall.flags[0] = javaargs;
    entryCall.flags[1] = cpwildcard;
    entryCall.flags[2] = javaw;
    entryCall.flags[3] = ergo;
    return entryCall.result;
}

TEST(StartJvmWithBlockTest, PassesTheBlockAndReturnsTheEntrysResult) {
    for (int result : {0, 1, 42, -3}) {
        SCOPED_TRACE(result);
        JliLaunchDataOwner data = createJliLaunchData("lib", {"prog", "-version"});
        JvmlLauncherDataBlock block(buildLauncherDataBlock(&launchDataApi(), data.release()));
        ASSERT_TRUE(block);
        entryCall = EntryCall{};
        entryCall.result = result;

        EXPECT_EQ(result, startJvmWithBlock(block.get(), fakeEntry));

        EXPECT_EQ(1, entryCall.calls);
        EXPECT_EQ(2, entryCall.argc);
        EXPECT_EQ(block->argumentVector, entryCall.argv);
        EXPECT_EQ(0, entryCall.jargc);
        EXPECT_EQ(nullptr, entryCall.jargv);
        EXPECT_EQ(0, entryCall.appclassc);
        EXPECT_EQ(nullptr, entryCall.appclassv);
        EXPECT_EQ("", entryCall.fullversion);
        EXPECT_EQ("", entryCall.dotversion);
        EXPECT_EQ("java", entryCall.pname);
        EXPECT_EQ("java", entryCall.lname);
        for (int flag : entryCall.flags) {
            EXPECT_EQ(0, flag);
        }
    }
}

TEST(PrintDebugLineTest, PrintsOnlyWhenTheSwitchIsExactlyTrue) {
    struct Case {
        const wchar_t* value;
        bool prints;
    };
    const Case cases[] = {{nullptr, false}, {L"true", true},  {L"TRUE", false}, {L"True", false},
                          {L"truE", false},  {L"1", false},    {L"true ", false}, {L"", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value ? tstrings::wideToUtf8(c.value) : "(unset)");
        EnvGuard debug(L"VANTORIX_DEBUG",
                       c.value ? std::optional<WideString>(c.value) : std::nullopt);
        testing::internal::CaptureStderr();
        printDebugLine("a%sc %d", "b", 5);
        EXPECT_EQ(c.prints ? "abc 5\n" : "", testing::internal::GetCapturedStderr());
    }
}

TEST(PrintDebugLineTest, StartJvmWithBlockPrintsTheLibraryAndEachArgument) {
    EnvGuard debug(L"VANTORIX_DEBUG", L"true");
    JliLaunchDataOwner data = createJliLaunchData("C:\\jli.dll", {"prog", "%s%n"});
    JvmlLauncherDataBlock block(buildLauncherDataBlock(&launchDataApi(), data.release()));
    ASSERT_TRUE(block);
    entryCall = EntryCall{};

    testing::internal::CaptureStderr();
    startJvmWithBlock(block.get(), fakeEntry);
    EXPECT_EQ("jli lib: [C:\\jli.dll]\njli arg[0]: [prog]\njli arg[1]: [%s%n]\n",
              testing::internal::GetCapturedStderr());
}

} // namespace
