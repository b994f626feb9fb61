// The process entry point of the GUI-subsystem launcher.

#include <new>

#include "WinLauncher.h"
#include "WinSys.h"
#include "app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return app::wlaunch(std::nothrow, launchApp);
}
