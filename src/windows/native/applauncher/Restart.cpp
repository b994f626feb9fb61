#include "Restart.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "ErrorCapture.h"
#include "ErrorHandling.h"
#include "Log.h"
#include "ScopedHandle.h"
#include "StringBuilder.h"
#include "SysInfo.h"
#include "Toolbox.h"
#include "Platform.h"
#include "WinApp.h"
#include "WinErrorHandling.h"

const wchar_t restartMarkVariable[] = L"VANTORIX_RESTARTED";

namespace {

// The mark's values: restarted, and restarted with the parent listening.
const wchar_t restartedMark[] = L"1";
const wchar_t reportedByParentMark[] = L"parent-reports";

bool captureWanted = false;

// STARTUPINFO's "hStdOutput names a monitor" flag, which not every SDK's
// headers define.
constexpr DWORD useMonitorFlag = 0x400;

// The start-up information this process was given, for the child: a
// shortcut's show state ("Run: Minimized"), its hot key, the taskbar's
// link name, the monitor and the standard handles then reach the JVM's
// windows as they would have in-process.
STARTUPINFOW inheritedStartupInfo() {
    STARTUPINFOW startupInfo{};
    GetStartupInfoW(&startupInfo);
    startupInfo.cb = sizeof(startupInfo);
    // The runtime library's inherited file-descriptor table is this
    // process's business, not the child's.
    startupInfo.lpReserved = nullptr;
    startupInfo.cbReserved2 = 0;
    startupInfo.lpReserved2 = nullptr;
    return startupInfo;
}

// A job that ends the child when this process goes (ended by a service
// wrapper, an IDE's stop button or an installer holding our process id),
// from which the Java application's own processes break away silently.
// None when the system refuses one; the restart then goes on without it.
void traceNoJob(const char* failedCall, DWORD error) {
    logTrace(failedCall << "() failed: " << systemErrorText(error, nullptr)
                        << ". The child runs without a job");
}

ScopedHandle makeChildJob() {
    ScopedHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job) {
        traceNoJob("CreateJobObjectW", GetLastError());
        return job;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
    if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof(limits))) {
        traceNoJob("SetInformationJobObject", GetLastError());
        job.reset();
    }
    return job;
}

// The child being waited for, for the console control handler.
HANDLE waitedChild = nullptr;

// Ctrl+C and Ctrl+Break reach every process on the console, the child and
// its JVM too, whose shutdown hooks then run: this process only stays to
// pass the child's exit code on. Closing the console, logging off and
// shutting down end this process when the handler returns, and the job
// would take the child with it, so the handler first lets the child end.
BOOL WINAPI waitForChildOnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && waitedChild) {
        WaitForSingleObject(waitedChild, INFINITE);
    }
    return TRUE;
}

// The channel for the child's standard error when this process has no
// usable one; none otherwise, or when the system gives none (the launch
// goes on without it). None either when the start-up information uses the
// standard handles' field for a hot key or a monitor: the system forbids
// STARTF_USESTDHANDLES beside those, and the child then reports for itself.
std::unique_ptr<ErrorCapture> makeErrorCapture(const STARTUPINFOW& startupInfo) {
    if (!captureWanted) {
        return nullptr;
    }
    if (startupInfo.dwFlags & (STARTF_USEHOTKEY | useMonitorFlag)) {
        logTrace("No channel for the child's standard error: the start-up information holds a "
                 << ((startupInfo.dwFlags & STARTF_USEHOTKEY) ? "hot key" : "monitor")
                 << " where the standard handles would go");
        return nullptr;
    }
    try {
        auto capture = std::make_unique<ErrorCapture>();
        logTrace("The child's standard error comes to this process: it has none of its own");
        return capture;
    } catch (const std::runtime_error& e) {
        logTrace("No channel for the child's standard error: " << e.what());
        return nullptr;
    }
}

// A box tall enough for the reason of a failed start, not for a stack trace
// of hundreds of lines: the last lines say what happened.
WideString lastLinesOf(const std::string& bytes) {
    constexpr std::size_t maxLines = 25;
    constexpr std::size_t maxUnits = 3000;
    WideString text = tstrings::utf8OrBytesToWide(bytes);
    // A NUL (a UTF-16 writer's every other byte) would end the box's text.
    std::replace(text.begin(), text.end(), L'\0', L'\uFFFD');
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
        text.pop_back();
    }
    std::size_t start = text.size();
    std::size_t lines = 0;
    while (start > 0 && lines < maxLines && text.size() - start < maxUnits) {
        --start;
        if (text[start] == L'\n') {
            ++lines;
        }
    }
    if (lines == maxLines || text.size() - start >= maxUnits) {
        const std::size_t lineStart = text.find(L'\n', start);
        start = lineStart == WideString::npos || lineStart + 1 >= text.size() ? start : lineStart + 1;
        return L"...\n" + text.substr(start);
    }
    return text;
}

// Closes the capture before any box is shown: a process that the child left
// behind with the write end must not block on the full pipe for as long as
// the box stays up.
void reportCapturedErrors(std::unique_ptr<ErrorCapture> capture, DWORD exitCode) {
    const std::string tail = capture->tail();
    logTrace("The child wrote " << capture->bytesSeen() << " bytes to its standard error");
    capture.reset();
    if (exitCode == 0 || tail.empty()) {
        logTrace("No message box: the child ended with code " << exitCode
                                                              << (tail.empty() ? " and wrote nothing" : ""));
        return;
    }
    const bool shown = app::showErrorMessageBox(lastLinesOf(tail));
    logTrace((shown ? "Message box shown" : "No message box: no window station is visible")
             << " for the child's standard error");
}

} // namespace

bool takeRestartMark() {
    WideString value;
    if (!platform::environmentVariable(restartMarkVariable, value)) {
        return false;
    }
    SetEnvironmentVariableW(restartMarkVariable, nullptr);
    if (value == reportedByParentMark) {
        app::setMessageBoxShown(false);
    }
    return true;
}

void captureChildErrorsIfUnseen() {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    captureWanted = error == nullptr || error == INVALID_HANDLE_VALUE ||
                    (GetFileType(error) == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR);
}

DWORD restartAsChild(const WideString& executablePath) {
    STARTUPINFOW startupInfo = inheritedStartupInfo();
    PROCESS_INFORMATION processInfo{};
    const ScopedHandle job = makeChildJob();
    std::unique_ptr<ErrorCapture> capture = makeErrorCapture(startupInfo);
    if (capture) {
        // Standard input and output stay as the child would inherit them.
        if (!(startupInfo.dwFlags & STARTF_USESTDHANDLES)) {
            startupInfo.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
            startupInfo.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        }
        startupInfo.dwFlags |= STARTF_USESTDHANDLES;
        startupInfo.hStdError = capture->childEnd();
    }

    // CreateProcessW may write into the command line: hand it a private copy.
    WideString commandLine = GetCommandLineW();

    // Suspended until it is in the job, so that nothing it starts escapes.
    const DWORD creationFlags = job ? CREATE_SUSPENDED : 0;
    // The handler is in place from before the child starts (a Ctrl+C may
    // come as soon as it runs) until it has ended. A handler routine, not
    // the "ignore Ctrl+C" flag, which the child would inherit.
    SetConsoleCtrlHandler(waitForChildOnConsoleEvent, TRUE);
    const AtEndOfScope consoleEventsBack([] {
        SetConsoleCtrlHandler(waitForChildOnConsoleEvent, FALSE);
        waitedChild = nullptr;
    });
    BOOL created = FALSE;
    DWORD createError = ERROR_SUCCESS;
    {
        // Only the child needs the mark; this process's own children must not see it.
        const SysInfo::ScopedEnvVariable mark(restartMarkVariable,
                                              capture ? reportedByParentMark : restartedMark);
        created = CreateProcessW(executablePath.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                 creationFlags, nullptr, nullptr, &startupInfo, &processInfo);
        createError = GetLastError();
    }
    if (!created) {
        throwWithPosition(SysError(StringBuilder() << "CreateProcessW() failed",
                                   reinterpret_cast<const void*>(&CreateProcessW), createError,
                                   "System error", executablePath));
    }
    // Closed thread first, then process, on every path out.
    const ScopedHandle process(processInfo.hProcess);
    const ScopedHandle thread(processInfo.hThread);
    waitedChild = process.get();
    if (capture) {
        capture->closeChildEnd();
    }

    if (job) {
        if (AssignProcessToJobObject(job.get(), process.get())) {
            logTrace("Child process " << processInfo.dwProcessId
                                      << " runs in a job that ends it with this process");
        } else {
            // Before Windows 8 a process in a job that forbids breakaway
            // cannot be put into a second one.
            traceNoJob("AssignProcessToJobObject", GetLastError());
        }
        if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
            const DWORD error = GetLastError();
            TerminateProcess(process.get(), 1);
            throwSysError(&ResumeThread, error, "ResumeThread() failed");
        }
    }

    if (capture) {
        capture->readUntilEnd(process.get());
    } else if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) {
        throwLastError(&WaitForSingleObject, "WaitForSingleObject() failed");
    }

    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.get(), &exitCode)) {
        throwLastError(&GetExitCodeProcess, "GetExitCodeProcess() failed");
    }
    logTrace("Child process exited with code " << exitCode);
    if (capture) {
        reportCapturedErrors(std::move(capture), exitCode);
    }
    return exitCode;
}
