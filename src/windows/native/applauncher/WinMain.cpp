// The process entry point of the GUI-subsystem launcher.

#include <new>

#include "Restart.h"
#include "WinLauncher.h"
#include "WinSys.h"
#include "app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything is loaded by name: the current directory leaves the
    // DLL search (it is wherever the user was, a document's folder when
    // opened through a file association). The runtime's bin directory takes
    // its place before the JVM is loaded.
    SetDllDirectoryW(L"");
    captureChildErrorsIfUnseen();
    return app::wlaunch(std::nothrow, launchApp);
}
