#include <gtest/gtest.h>

#include <memory>

#include "Dll.h"
#include "FileUtils.h"
#include "SysInfo.h"
#include "TempDir.h"
#include "TestFixture.h"
#include "WinErrorHandling.h"

using testfixture::fixtureDllLoaded;
using testfixture::fixtureDllPath;

namespace {

using AnswerFunction = int (*)();

// Every test starts and must end with the fixture library unloaded.
class DllTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(fixtureDllLoaded()); }
    void TearDown() override { EXPECT_FALSE(fixtureDllLoaded()); }
};

TEST_F(DllTest, CopiesHoldIndependentReferences) {
    for (bool sourceGoesFirst : {true, false}) {
        SCOPED_TRACE(sourceGoesFirst ? "source destroyed first" : "copy destroyed first");
        auto source = std::make_unique<Dll>(StringBuilder() << fixtureDllPath());
        auto copy = std::make_unique<Dll>(*source);
        EXPECT_EQ(copy->path(), fixtureDllPath());
        EXPECT_EQ(copy->nativeHandle(), source->nativeHandle());

        (sourceGoesFirst ? source : copy).reset();
        EXPECT_TRUE(fixtureDllLoaded());
        const Dll& survivor = sourceGoesFirst ? *copy : *source;
        EXPECT_EQ(reinterpret_cast<AnswerFunction>(survivor.getFunction("vxFixtureAnswer", true))(),
                  42);

        (sourceGoesFirst ? copy : source).reset();
        EXPECT_FALSE(fixtureDllLoaded());
    }
}

TEST_F(DllTest, CopyOfLibraryLoadedThroughUnusualPath) {
    // '/' separators and a ".." segment load fine; the copy must not depend
    // on finding the module by that text again.
    const WideString directory = testfixture::testBinaryDirectory();
    const WideString unusual =
        directory + L"/./../" + FileUtils::fileNameOf(directory) + L"/" + testfixture::fixtureDllName();
    {
        const Dll loaded(StringBuilder() << unusual);
        auto copy = std::make_unique<Dll>(loaded);
        EXPECT_EQ(copy->path(), unusual);
        const Dll copyOfCopy(*copy);
        copy.reset();
        EXPECT_TRUE(fixtureDllLoaded());
        EXPECT_NE(copyOfCopy.getFunction("vxFixtureAnswer", true), nullptr);
    }
}

// Puts the current directory back when the test is over.
class CurrentDirectoryGuard {
public:
    CurrentDirectoryGuard() : saved(32768, L'\0') {
        saved.resize(GetCurrentDirectoryW(static_cast<DWORD>(saved.size()), &saved[0]));
    }
    ~CurrentDirectoryGuard() { SetCurrentDirectoryW(saved.c_str()); }
    CurrentDirectoryGuard(const CurrentDirectoryGuard&) = delete;
    CurrentDirectoryGuard& operator=(const CurrentDirectoryGuard&) = delete;

private:
    WideString saved;
};

TEST_F(DllTest, CopyAfterTheCurrentDirectoryChanged) {
    // A relative path means something else once the current directory has
    // changed, here another file of the same name; the copy still refers to
    // the module that was loaded.
    const TempDir elsewhere;
    const WideString dllName = testfixture::fixtureDllName();
    ASSERT_TRUE(CopyFileW(fixtureDllPath().c_str(), (elsewhere.widePath() + L"\\" + dllName).c_str(),
                          TRUE));
    const CurrentDirectoryGuard restore;
    ASSERT_TRUE(SetCurrentDirectoryW(testfixture::testBinaryDirectory().c_str()));
    const Dll loaded(StringBuilder() << L".\\" << dllName);
    ASSERT_TRUE(SetCurrentDirectoryW(elsewhere.widePath().c_str()));
    {
        const Dll copy(loaded);
        EXPECT_EQ(copy.nativeHandle(), loaded.nativeHandle());
    }
    EXPECT_TRUE(fixtureDllLoaded());
}

TEST_F(DllTest, FunctionKeepsTemporaryLibraryLoaded) {
    {
        const DllFunction<AnswerFunction> answer(Dll(StringBuilder() << fixtureDllPath()),
                                                 StringBuilder() << "vxFixtureAnswer");
        EXPECT_TRUE(fixtureDllLoaded());
        const AnswerFunction function = answer;
        EXPECT_EQ(function(), 42);
    }
    EXPECT_FALSE(fixtureDllLoaded());
}

TEST_F(DllTest, MissingSymbol) {
    const WideString path = fixtureDllPath();
    {
        const Dll library(StringBuilder() << path);
        EXPECT_EQ(library.getFunction("vxNoSuchFunction", false), nullptr);
        try {
            DllFunction<AnswerFunction> missing(library, StringBuilder() << "vxNoSuchFunction");
            ADD_FAILURE() << "a missing symbol was found";
        } catch (const VxError<SysError>& e) {
            const std::string expected =
                "GetProcAddress(" + tstrings::wideToUtf8(path) + ", vxNoSuchFunction) failed. System error [127]";
            EXPECT_EQ(std::string(e.plainMessage()).rfind(expected, 0), 0u) << e.plainMessage();
            EXPECT_NE(std::string(e.what()).find(" at Dll::getFunction(): GetProcAddress("),
                      std::string::npos)
                << e.what();
        }
    }
    // The failed holder gave its reference back.
    EXPECT_FALSE(fixtureDllLoaded());
}

TEST_F(DllTest, MissingFileNamesThePathUnchanged) {
    const WideString path = testfixture::testBinaryDirectory() + L"/no-such/../missing.dll";
    try {
        Dll library(StringBuilder() << path);
        ADD_FAILURE() << "a missing library was loaded";
    } catch (const VxError<SysError>& e) {
        const std::string expected = "LoadLibraryW(" + tstrings::wideToUtf8(path) + ") failed. System error [";
        EXPECT_EQ(std::string(e.plainMessage()).rfind(expected, 0), 0u) << e.plainMessage();
        EXPECT_NE(std::string(e.what()).find(" at `anonymous-namespace'::loadLibrary(): LoadLibraryW("),
                  std::string::npos)
            << e.what();
    }
}

TEST(Dll, SystemDirectoryLibraryByFullPath) {
    const Dll kernel(Dll::InSystemDirectory, StringBuilder() << "kernel32.dll");
    EXPECT_EQ(kernel.path(), SysInfo::systemDirectory() + L"\\kernel32.dll");
    EXPECT_EQ(kernel.nativeHandle(), static_cast<void*>(GetModuleHandleW(L"kernel32.dll")));
    const DllFunction<DWORD(WINAPI*)()> processId(kernel, StringBuilder() << "GetCurrentProcessId");
    EXPECT_EQ(static_cast<DWORD(WINAPI*)()>(processId)(), GetCurrentProcessId());
}

} // namespace
