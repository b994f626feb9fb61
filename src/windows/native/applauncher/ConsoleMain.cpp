// The process entry point of the console-subsystem launcher, for
// command-line applications: it runs on the console (or the redirected
// handles) it was started with, reports a failure on standard error and
// never shows a window.

#include <new>

#include "WinLauncher.h"
#include "WinSys.h"
#include "app.h"

int wmain();

int wmain() {
    // Before anything is loaded by name: the current directory leaves the
    // DLL search. The runtime's bin directory takes its place before the
    // JVM is loaded.
    SetDllDirectoryW(L"");
    // The default extra appender prints the launch error text on standard
    // error; the trace, when on, goes there too.
    return app::launch(std::nothrow, launchApp);
}
