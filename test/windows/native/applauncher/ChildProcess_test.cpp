// Starting a child in its job with a restricted set of inherited handles,
// against the real system.

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include "ErrorHandling.h"
#include "SysInfo.h"

namespace {

ScopedHandle pipeEnd(bool inheritable) {
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), nullptr, inheritable ? TRUE : FALSE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    EXPECT_TRUE(CreatePipe(&read, &write, &attributes, 0));
    CloseHandle(read);
    return ScopedHandle(write);
}

TEST(ChildProcess, StartsRunningInItsJob) {
    // Created in the job where the system allows it; created suspended,
    // assigned and resumed otherwise.
    for (const bool jobAttribute : {true, false}) {
        SCOPED_TRACE(jobAttribute ? "job attribute" : "assigned after the start");
        const ChildJob job;
        ASSERT_TRUE(job);
        ChildStartOptions options;
        options.startupInfo.cb = sizeof(options.startupInfo);
        options.job = job.get();
        options.jobAttribute = jobAttribute;
        const WideString cmd = SysInfo::systemDirectory() + L"\\cmd.exe";
        const ScopedProcessInformation child = startChild(cmd, L"cmd.exe /c exit 7", options);
        BOOL inJob = FALSE;
        ASSERT_TRUE(IsProcessInJob(child.process(), job.get(), &inJob));
        EXPECT_TRUE(inJob);
        ASSERT_EQ(WaitForSingleObject(child.process(), 10000), WAIT_OBJECT_0);
        DWORD exitCode = 0;
        ASSERT_TRUE(GetExitCodeProcess(child.process(), &exitCode));
        EXPECT_EQ(exitCode, 7u);
    }
}

TEST(ChildProcess, ListsTheInheritableStandardHandlesEachOnce) {
    const ScopedHandle inheritable = pipeEnd(true);
    const ScopedHandle private_ = pipeEnd(false);
    STARTUPINFOW startupInfo{};
    startupInfo.cb = sizeof(startupInfo);
    startupInfo.dwFlags = STARTF_USESTDHANDLES;
    startupInfo.hStdInput = private_.get();
    startupInfo.hStdOutput = inheritable.get();
    startupInfo.hStdError = inheritable.get();
    EXPECT_EQ(inheritableStandardHandles(startupInfo), std::vector<HANDLE>{inheritable.get()});
    startupInfo.hStdInput = INVALID_HANDLE_VALUE;
    startupInfo.hStdOutput = nullptr;
    EXPECT_EQ(inheritableStandardHandles(startupInfo), std::vector<HANDLE>{inheritable.get()});
}

TEST(ChildProcess, FailedStartNamesTheCall) {
    ChildStartOptions options;
    options.startupInfo.cb = sizeof(options.startupInfo);
    try {
        startChild(L"C:\\nowhere\\missing.exe", L"missing.exe", options);
        FAIL() << "no exception";
    } catch (const VxErrorBase& e) {
        EXPECT_EQ(std::string(e.plainMessage()).rfind("CreateProcessW() failed. System error [", 0), 0u)
            << e.plainMessage();
    }
}

} // namespace
