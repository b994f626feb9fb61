// The process entry point of the Linux launcher: failures go to standard
// error as one line, with exit code 1.

#include <new>

#include "LinuxLauncher.h"
#include "app.h"

int main(int argc, char** argv) {
    setCommandLine(argc, argv);
    return app::launch(std::nothrow, launchApp);
}
