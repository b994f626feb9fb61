#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>

#include "ErrorHandling.h"
#include "LogCapture.h"

namespace {

struct Holder {
    static SourcePosition position() { return CURRENT_POSITION; }
    ~Holder() { destructorPosition = CURRENT_POSITION.functionName(); }
    static std::string destructorPosition;
};
std::string Holder::destructorPosition;

SourcePosition fileLocalPosition() {
    return CURRENT_POSITION;
}

} // namespace

namespace outer {
SourcePosition nestedPosition(int, const char*);
SourcePosition nestedPosition(int, const char*) {
    return CURRENT_POSITION;
}
} // namespace outer

namespace {

TEST(SourcePosition, QualifiedNamesFromSignatures) {
    struct Case {
        const char* signature;
        const char* expected;
    } cases[] = {
        {"int app::launch(const std::nothrow_t&, LaunchFunction, LogAppender*)", "app::launch"},
        {"{anonymous}::SetLoggerAtEndOfScope::~SetLoggerAtEndOfScope()",
         "`anonymous-namespace'::SetLoggerAtEndOfScope::~SetLoggerAtEndOfScope"},
        {"std::wstring SysInfo::{anonymous}::getModulePath(HMODULE)",
         "SysInfo::`anonymous-namespace'::getModulePath"},
        {"std::unique_ptr<Dll, std::default_delete<Dll> > (anonymous namespace)::loadDll(const std::wstring &)",
         "`anonymous-namespace'::loadDll"},
        {"Jvm::Jvm()", "Jvm::Jvm"},
        {"DllFunction<T>::operator T() const [with T = int (*)(int)]", "DllFunction<T>::operator T"},
        {"static CfgFile CfgFile::load(const WideString&)", "CfgFile::load"},
        {"main", "main"},
        {"void (* Dll::getFunction(const string&, bool) const)()", "Dll::getFunction"},
        {"int (* (anonymous namespace)::pick(int))(int)", "`anonymous-namespace'::pick"},
        {"bool Matcher::operator()(int) const", "Matcher::operator()"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.signature);
        EXPECT_EQ(SourcePositions::qualifiedName(c.signature), c.expected);
    }
}

TEST(SourcePosition, CurrentPositionNamesTheFunction) {
    EXPECT_EQ(Holder::position().functionName(), "`anonymous-namespace'::Holder::position");
    EXPECT_EQ(fileLocalPosition().functionName(), "`anonymous-namespace'::fileLocalPosition");
    EXPECT_EQ(outer::nestedPosition(0, "").functionName(), "outer::nestedPosition");
    { Holder holder; }
    EXPECT_EQ(Holder::destructorPosition, "`anonymous-namespace'::Holder::~Holder");
    EXPECT_EQ(fileLocalPosition().fileBaseName(), "ErrorHandling_test.cpp");
}

TEST(VxError, WhatCarriesThePositionAndPlainMessageDoesNot) {
    const SourcePosition position{"C:\\work/src\\tstrings.cpp", "std::wstring tstrings::{anonymous}::fromMultiByte(const std::string&, unsigned int)", 253};
    const VxError<std::runtime_error> error(std::runtime_error("Unexpected reply from MultiByteToWideChar()"), position);
    EXPECT_STREQ(error.what(),
                 "tstrings.cpp(253) at tstrings::`anonymous-namespace'::fromMultiByte(): "
                 "Unexpected reply from MultiByteToWideChar()");
    EXPECT_STREQ(error.plainMessage(), "Unexpected reply from MultiByteToWideChar()");

    const SourcePosition bare{"file.cpp", "void f()", -1};
    EXPECT_EQ(messageWithPosition(std::runtime_error("x"), bare), "file.cpp(-1) at f(): x");
}

TEST(VxError, ThrowWithPositionIsCatchableAsEveryBase) {
    const int line = __LINE__ + 2;
    try {
        throwWithPosition(std::runtime_error("J\xC3\xB6rg"));
    } catch (const VxErrorBase& e) {
        EXPECT_STREQ(e.plainMessage(), "J\xC3\xB6rg");
        const auto& asRuntime = dynamic_cast<const std::runtime_error&>(e);
        EXPECT_EQ(std::string(asRuntime.what()),
                  "ErrorHandling_test.cpp(" + std::to_string(line) +
                      ") at `anonymous-namespace'::VxError_ThrowWithPositionIsCatchableAsEveryBase_Test::TestBody(): J\xC3\xB6rg");
    }
}

TEST(CatchSites, ReportRegardlessOfTheMinimumLevel) {
    DispatcherGuard guard;
    CapturingLogAppender capture;
    LogDispatcher::shared().installAppender(&capture);
    LogDispatcher::shared().setMinimumLevel(static_cast<Severity>(9));
    const SourcePosition position{"dir/site.cpp", "void app::site()", 9};
    logCaughtError(position, std::runtime_error("J\xC3\xB6rg"));
    logUnknownError(position);
    ASSERT_EQ(capture.records.size(), 2u);
    EXPECT_EQ(capture.records[0].text, L"Exception with message 'J\u00F6rg' caught");
    EXPECT_EQ(capture.records[0].levelName, L"ERROR");
    EXPECT_EQ(capture.records[0].sourceFile, L"site.cpp");
    EXPECT_EQ(capture.records[0].function, L"app::site");
    EXPECT_EQ(capture.records[1].text, L"Unknown exception caught");
}

TEST(CatchSites, ASinkThatThrowsDoesNotEscape) {
    struct Throwing : LogAppender {
        void append(const LogRecord&) override { throw std::runtime_error("sink"); }
    } throwing;
    DispatcherGuard guard;
    LogDispatcher::shared().installAppender(&throwing);
    EXPECT_NO_THROW(logCaughtError(CURRENT_POSITION, std::runtime_error("x")));
    EXPECT_NO_THROW(logUnknownError(CURRENT_POSITION));
}

TEST(ErrnoText, DescribesTheCurrentErrno) {
    errno = ENOENT;
    EXPECT_FALSE(errnoText().empty());
}

TEST(ErrnoText, AFailedCallIsNamedFromTheCall) {
    errno = ENOENT;
    const std::string expected = "open(/nowhere, 2) failed: " + errnoText();
    try {
        errno = ENOENT;
        throwErrnoOfCall(open, "/nowhere, " << 2);
        FAIL() << "no exception";
    } catch (const VxError<std::runtime_error>& e) {
        EXPECT_EQ(std::string(e.plainMessage()), expected);
    }
}

} // namespace
