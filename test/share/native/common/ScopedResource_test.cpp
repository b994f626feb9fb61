// The owners of OS resources, the end-of-scope action and the scoped
// environment variable; natively and, with the Windows kinds, under Wine.

#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "EnvGuard.h"
#include "LogCapture.h"
#include "ScopedResource.h"
#include "SysInfo.h"
#include "Toolbox.h"

#ifdef _WIN32
#include "ScopedHandle.h"
#endif

namespace {

// A descriptor-like kind whose invalid value is -1, not 0; its closes are
// recorded, and each close clobbers errno as a failing close would.
std::vector<int> closed;

struct CountedTraits {
    using Type = int;
    using KeepError = KeepErrno;
    static Type invalid() noexcept { return -1; }
    static bool isValid(Type value) noexcept { return value != -1; }
    static void close(Type value) noexcept {
        closed.push_back(value);
        errno = EBADF;
    }
};
using Counted = ScopedResource<CountedTraits>;

static_assert(!std::is_copy_constructible_v<Counted>);
static_assert(!std::is_copy_assignable_v<Counted>);
static_assert(std::is_nothrow_move_constructible_v<Counted>);
static_assert(!std::is_convertible_v<Counted, bool>, "operator bool is explicit");

class ScopedResourceTest : public testing::Test {
protected:
    ScopedResourceTest() { closed.clear(); }
};

TEST_F(ScopedResourceTest, ClosesOnceWhateverPathTheValueTakes) {
    {
        Counted zero(0); // 0 is a valid value of this kind
        EXPECT_TRUE(zero);
        Counted none;
        EXPECT_FALSE(none);
        EXPECT_EQ(none.get(), -1);

        Counted moved(std::move(zero));
        EXPECT_FALSE(zero);
        EXPECT_EQ(moved.get(), 0);

        Counted target(7);
        target = std::move(moved); // closes 7, takes 0
        EXPECT_EQ(closed, std::vector<int>{7});

        Counted released(9);
        EXPECT_EQ(released.release(), 9);
        EXPECT_FALSE(released);

        Counted replaced(3);
        replaced.reset(4); // closes 3
        replaced.reset();  // closes 4
        EXPECT_FALSE(replaced);
        EXPECT_EQ(closed, (std::vector<int>{7, 3, 4}));
    }
    // Leaving the scope closes only the one left: 0 (9 was released).
    EXPECT_EQ(closed, (std::vector<int>{7, 3, 4, 0}));
}

TEST_F(ScopedResourceTest, CloseKeepsErrno) {
    Counted owner(5);
    errno = ENOENT;
    owner.reset();
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(closed, std::vector<int>{5});
}

TEST_F(ScopedResourceTest, RuntimeKindsOwnWhatTheyAreGiven) {
    ScopedMallocMemory<char> memory(static_cast<char*>(std::malloc(16)));
    ASSERT_TRUE(memory);
    memory.get()[0] = 'x';
    memory.reset();
    EXPECT_FALSE(memory);

    const ScopedFile missing(std::fopen("vx-no-such-directory/none.txt", "rb"));
    EXPECT_FALSE(missing);
}

#ifdef _WIN32
// A value no call of the test sets by itself.
constexpr DWORD magicLastError = 0x20004242;

TEST(WindowsOwners, TheLastErrorSurvivesEveryKindOfClose) {
    ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    ScopedModule module(LoadLibraryW(L"kernel32.dll"));
    ASSERT_TRUE(module);
    ScopedLocalMemory<wchar_t> memory(static_cast<wchar_t*>(LocalAlloc(LMEM_FIXED, 64)));
    ASSERT_TRUE(memory);
    // A close that fails sets a last error of its own: a handle closed
    // already, whose value nothing has taken again.
    const HANDLE stale = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(stale, nullptr);
    CloseHandle(stale);
    ScopedHandle bogus(stale);

    SetLastError(magicLastError);
    event.reset();
    module.reset();
    memory.reset();
    bogus.reset();
    EXPECT_EQ(GetLastError(), magicLastError);
}

TEST(WindowsOwners, NullAndInvalidHandleValueOwnNothing) {
    EXPECT_FALSE(ScopedHandle());
    EXPECT_FALSE(ScopedHandle(INVALID_HANDLE_VALUE));
    const ScopedHandle file(CreateFileW(L"C:\\vx-no-such-directory\\none.txt", GENERIC_READ, 0,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(file);
}
#endif

TEST(AtEndOfScopeTest, RunsOnLeavingUnlessCancelled) {
    int runs = 0;
    {
        const AtEndOfScope count([&runs] { ++runs; });
    }
    EXPECT_EQ(runs, 1);
    {
        AtEndOfScope count([&runs] { ++runs; });
        count.cancel();
    }
    EXPECT_EQ(runs, 1);
    try {
        const AtEndOfScope count([&runs] { ++runs; });
        throw std::runtime_error("leaving");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(runs, 2);
}

TEST(AtEndOfScopeTest, WhatTheActionThrowsIsLoggedAndGoesNoFurther) {
    const ScopedLogCapture capture;
    EXPECT_NO_THROW(
        { const AtEndOfScope fail([] { throw std::runtime_error("restore failed"); }); });
    EXPECT_NO_THROW({ const AtEndOfScope fail([] { throw 42; }); });
    ASSERT_EQ(capture.records().size(), 2u);
    EXPECT_EQ(capture.records()[0].text, L"Exception with message 'restore failed' caught");
    EXPECT_EQ(capture.records()[1].text, L"Unknown exception caught");
}

TEST(ScopedEnvVariableTest, PutsBackTheValueOrTheAbsence) {
    const WideString name = L"VX_SCOPED_ENV_TEST";
    const EnvGuard guard(name, std::nullopt);
    {
        const SysInfo::ScopedEnvVariable set(name, L"first");
        EXPECT_EQ(EnvGuard::read(name), WideString(L"first"));
        {
            const SysInfo::ScopedEnvVariable empty(name, L"");
            EXPECT_EQ(EnvGuard::read(name), WideString());
        }
        EXPECT_EQ(EnvGuard::read(name), WideString(L"first"));
    }
    EXPECT_EQ(EnvGuard::read(name), std::nullopt);
}

} // namespace
