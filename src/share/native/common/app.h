#pragma once

// The launch frame: runs one launch function, reports its failure and turns
// the outcome into the process exit code.

#include <new>
#include <string>

class LogAppender;

// Returning means success; any exception means failure.
using LaunchFunction = void (*)();

namespace app {

// Exit code 0 when the launch function returned (or the code it set with
// setExitCodeOnReturn), 1 when it threw (or the code it set with
// setExitCodeOnFailure). Nothing leaves this function. A
// null extra appender means the shared LastErrorLogAppender.
int launch(const std::nothrow_t&, LaunchFunction launchFunction, LogAppender* extraAppender = nullptr);

// The exit code of the current launch when its launch function returns:
// the parent of a restart ends with its child's code, which the child has
// already reported on if it failed. Each launch starts with 0.
void setExitCodeOnReturn(int code);

// The exit code of the current launch when its launch function throws
// next: the application's own code when the application ended with an
// error after the JVM ran. Each launch starts with 1.
void setExitCodeOnFailure(int code);

// True exactly when VANTORIX_DEBUG equals "true"; read afresh on every call.
bool debugSwitchOn();

// The process-wide appender that prints the launch error text on stderr.
LogAppender& sharedLastErrorLogAppender();

// The launch error text (UTF-8) while a failure is reported, else empty.
std::string launchErrorText();

// The GUI entry's frame: console when debugging, message box on failure.
// Defined by the Windows half.
int wlaunch(const std::nothrow_t&, LaunchFunction launchFunction);

} // namespace app
