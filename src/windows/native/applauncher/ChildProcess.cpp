#include "ChildProcess.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "ErrorHandling.h"
#include "Log.h"
#include "StringBuilder.h"
#include "WinErrorHandling.h"

namespace {

// The attribute values, which not every SDK's headers define (the job list
// came with Windows 10).
constexpr DWORD_PTR handleListAttribute = 0x00020002;
constexpr DWORD_PTR jobListAttribute = 0x0002000D;

void traceNoJob(const char* failedCall, DWORD error) {
    logTrace(failedCall << "() failed: " << systemErrorText(error, nullptr) << ". The child runs without a job");
}

// An attribute list for CreateProcessW. The values it points at must live
// as long as the list.
class AttributeList {
public:
    explicit AttributeList(DWORD count) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, count, 0, &size);
        storage = std::make_unique<unsigned char[]>(size);
        list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.get());
        if (!InitializeProcThreadAttributeList(list, count, 0, &size)) {
            throwLastErrorOf(InitializeProcThreadAttributeList);
        }
    }
    ~AttributeList() { DeleteProcThreadAttributeList(list); }
    AttributeList(const AttributeList&) = delete;
    AttributeList& operator=(const AttributeList&) = delete;

    // False, with the thread's last error, when the system refuses it.
    bool add(DWORD_PTR attribute, void* value, SIZE_T size) {
        return UpdateProcThreadAttribute(list, 0, attribute, value, size, nullptr, nullptr) != FALSE;
    }
    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list; }

private:
    std::unique_ptr<unsigned char[]> storage;
    LPPROC_THREAD_ATTRIBUTE_LIST list = nullptr;
};

// Creates the child with the handle list and, when job is not null, in the
// job. Throws when CreateProcessW fails.
ScopedProcessInformation create(const WideString& executablePath, WideString commandLine,
                                const ChildStartOptions& options, HANDLE job, DWORD flags) {
    std::vector<HANDLE> handles = options.inheritedHandles;
    const DWORD count = (handles.empty() ? 0 : 1) + (job ? 1 : 0);
    STARTUPINFOEXW startupInfo{};
    startupInfo.StartupInfo = options.startupInfo;
    std::unique_ptr<AttributeList> attributes;
    if (count > 0) {
        attributes = std::make_unique<AttributeList>(count);
        if (!handles.empty() &&
            !attributes->add(handleListAttribute, handles.data(), handles.size() * sizeof(HANDLE))) {
            throwLastErrorOfCall(UpdateProcThreadAttribute, "PROC_THREAD_ATTRIBUTE_HANDLE_LIST");
        }
        if (job && !attributes->add(jobListAttribute, &job, sizeof(job))) {
            throwLastErrorOfCall(UpdateProcThreadAttribute, "PROC_THREAD_ATTRIBUTE_JOB_LIST");
        }
        startupInfo.StartupInfo.cb = sizeof(startupInfo);
        startupInfo.lpAttributeList = attributes->get();
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    PROCESS_INFORMATION info{};
    // CreateProcessW may write into the command line: it has a private copy.
    if (!CreateProcessW(executablePath.c_str(), &commandLine[0], nullptr, nullptr, !handles.empty(), flags,
                        nullptr, nullptr, &startupInfo.StartupInfo, &info)) {
        const DWORD error = GetLastError();
        throwWithPosition(SysError(StringBuilder() << "CreateProcessW() failed",
                                   reinterpret_cast<const void*>(&CreateProcessW), error, "System error",
                                   executablePath));
    }
    return ScopedProcessInformation(info);
}

// Whether the system takes a job in the attribute list (Windows 10 and
// later).
bool jobAttributeKnown(HANDLE job) {
    AttributeList attributes(1);
    if (attributes.add(jobListAttribute, &job, sizeof(job))) {
        return true;
    }
    logTrace("UpdateProcThreadAttribute(PROC_THREAD_ATTRIBUTE_JOB_LIST) failed: "
             << systemErrorText(GetLastError(), nullptr)
             << ". The child starts suspended until it is in its job");
    return false;
}

// Windows 7's console handles are no kernel handles (their two low bits are
// set): they reach the child through its console and cannot be listed.
bool isConsolePseudoHandle(HANDLE handle) {
    return (reinterpret_cast<ULONG_PTR>(handle) & 3) == 3;
}

} // namespace

ChildJob::ChildJob() : job(CreateJobObjectW(nullptr, nullptr)) {
    if (!job) {
        traceNoJob("CreateJobObjectW", GetLastError());
        return;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
    if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        traceNoJob("SetInformationJobObject", GetLastError());
        job.reset();
    }
}

ScopedProcessInformation startChild(const WideString& executablePath, WideString commandLine,
                                    const ChildStartOptions& options) {
    if (options.job && options.jobAttribute && jobAttributeKnown(options.job)) {
        try {
            ScopedProcessInformation child = create(executablePath, commandLine, options, options.job, 0);
            logTrace("Child process " << child.processId()
                                      << " created in a job that ends it with this process");
            return child;
        } catch (const std::exception& e) {
            // As AssignProcessToJobObject below may fail, so may this: the
            // child is then started as before.
            logTrace("Not created in the job: " << e.what());
        }
    }

    // Suspended until it is in the job, so that nothing it starts escapes.
    // What remains: a parent ended between CreateProcessW and ResumeThread
    // leaves the child suspended for ever; only the job attribute above
    // closes that window.
    ScopedProcessInformation child =
        create(executablePath, commandLine, options, nullptr, options.job ? CREATE_SUSPENDED : 0);
    if (options.job) {
        if (AssignProcessToJobObject(options.job, child.process())) {
            logTrace("Child process " << child.processId() << " runs in a job that ends it with this process");
        } else {
            // Before Windows 8 a process in a job that forbids breakaway
            // cannot be put into a second one.
            traceNoJob("AssignProcessToJobObject", GetLastError());
        }
        if (ResumeThread(child.thread()) == static_cast<DWORD>(-1)) {
            const DWORD error = GetLastError();
            TerminateProcess(child.process(), 1);
            throwSysErrorOf(ResumeThread, error);
        }
    }
    return child;
}

std::vector<HANDLE> inheritableStandardHandles(const STARTUPINFOW& startupInfo) {
    const bool given = (startupInfo.dwFlags & STARTF_USESTDHANDLES) != 0;
    const HANDLE candidates[] = {
        given ? startupInfo.hStdInput : GetStdHandle(STD_INPUT_HANDLE),
        given ? startupInfo.hStdOutput : GetStdHandle(STD_OUTPUT_HANDLE),
        given ? startupInfo.hStdError : GetStdHandle(STD_ERROR_HANDLE),
    };
    std::vector<HANDLE> handles;
    for (const HANDLE handle : candidates) {
        DWORD flags = 0;
        if (HandleTraits::isValid(handle) && !isConsolePseudoHandle(handle) &&
            GetHandleInformation(handle, &flags) && (flags & HANDLE_FLAG_INHERIT) &&
            std::find(handles.begin(), handles.end(), handle) == handles.end()) {
            handles.push_back(handle);
        }
    }
    return handles;
}
