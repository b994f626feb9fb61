#include "Restart.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <utility>

#include "ChildProcess.h"
#include "ErrorCapture.h"
#include "ErrorHandling.h"
#include "Log.h"
#include "ScopedHandle.h"
#include "StringBuilder.h"
#include "SysInfo.h"
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

// The child being waited for, for the console control handler, which the
// system runs on a thread of its own.
std::atomic<HANDLE> waitedChild{nullptr};

// Ctrl+C and Ctrl+Break reach every process on the console, the child and
// its JVM too, whose shutdown hooks then run: this process only stays to
// pass the child's exit code on. Closing the console, logging off and
// shutting down end this process when the handler returns, and the job
// would take the child with it, so the handler first lets the child end.
BOOL WINAPI waitForChildOnConsoleEvent(DWORD event) {
    const HANDLE child = waitedChild;
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && child) {
        WaitForSingleObject(child, INFINITE);
    }
    return TRUE;
}

// Console events left to the child: a handler routine, not the "ignore
// Ctrl+C" flag, which the child would inherit. In place from before the
// child starts, since a Ctrl+C may come as soon as it runs, and kept to the
// end of this process: the system runs handlers on a thread that it may
// start late, and a Ctrl+C that finds no handler of ours once the child has
// ended would have the default handler end this process with a code of its
// own instead of the child's.
class ConsoleEventsLeftToChild {
public:
    ConsoleEventsLeftToChild() { SetConsoleCtrlHandler(waitForChildOnConsoleEvent, TRUE); }
    // The child's handle is closed next: the handler stops waiting on it.
    ~ConsoleEventsLeftToChild() { waitedChild = nullptr; }
    ConsoleEventsLeftToChild(const ConsoleEventsLeftToChild&) = delete;
    ConsoleEventsLeftToChild& operator=(const ConsoleEventsLeftToChild&) = delete;

    void waitFor(HANDLE child) const { waitedChild = child; }
};

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

// Standard input and output stay as the child would inherit them; its
// standard error goes to the capture.
void redirectStandardError(STARTUPINFOW& startupInfo, HANDLE errorEnd) {
    if (!(startupInfo.dwFlags & STARTF_USESTDHANDLES)) {
        startupInfo.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startupInfo.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    }
    startupInfo.dwFlags |= STARTF_USESTDHANDLES;
    startupInfo.hStdError = errorEnd;
}

DWORD exitCodeOf(HANDLE process) {
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process, &exitCode)) {
        throwLastErrorOf(GetExitCodeProcess);
    }
    return exitCode;
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
    const ChildJob job;
    ChildStartOptions options;
    options.startupInfo = inheritedStartupInfo();
    options.job = job.get();
    std::unique_ptr<ErrorCapture> capture = makeErrorCapture(options.startupInfo);
    if (capture) {
        redirectStandardError(options.startupInfo, capture->childEnd());
    }
    options.inheritedHandles = inheritableStandardHandles(options.startupInfo);

    ScopedProcessInformation child;
    const ConsoleEventsLeftToChild consoleEvents;
    {
        // Only the child needs the mark; this process's own children must not see it.
        const SysInfo::ScopedEnvVariable mark(restartMarkVariable,
                                              capture ? reportedByParentMark : restartedMark);
        child = startChild(executablePath, GetCommandLineW(), options);
    }
    consoleEvents.waitFor(child.process());

    if (capture) {
        capture->closeChildEnd();
        capture->readUntilEnd(child.process());
    } else if (WaitForSingleObject(child.process(), INFINITE) != WAIT_OBJECT_0) {
        throwLastErrorOf(WaitForSingleObject);
    }
    const DWORD exitCode = exitCodeOf(child.process());
    logTrace("Child process exited with code " << exitCode);
    if (capture) {
        reportCapturedErrors(std::move(capture), exitCode);
    }
    return exitCode;
}
