#pragma once

// The steps of one launch, the same on every OS: describe the image to an
// AppLauncher, build the Jvm, decide on the restart, run in process. Each
// OS's launchApp fills in a PlatformLaunch and calls launchImage.

#include <functional>
#include <memory>

#include "SingleInstance.h"
#include "tstrings.h"

class Jvm;

struct PlatformLaunch {
    // The running executable's absolute path and its command-line
    // arguments (program name excluded). The image root is the
    // executable's directory.
    WideString executablePath;
    WideStringList commandArgs;

    // The runtime's launcher library, relative to the runtime directory.
    WideString jvmLibrary;
    // The variable the loader searches for libraries, its list separator
    // (also the class path's) and how its elements compare with the
    // application directory.
    WideString librarySearchVariable;
    wchar_t pathListSeparator = L';';
    tstrings::TextComparison pathComparison = tstrings::IgnoringCase;

    // Reads and removes the mark of a restart: true in a process that a
    // restart started, which never restarts again.
    std::function<bool()> takeRestartMark;
    // Called once the Jvm is built and before the restart decision; true
    // when it has taken the launch over (the Linux runtime's own re-exec).
    // May be empty.
    std::function<bool(std::unique_ptr<Jvm>&)> takeOver;
    // Starts the executable again with the extended search variable, the
    // Jvm already released. Either passes on the new process's exit code
    // (app::setExitCodeOnReturn) or does not return.
    std::function<void(const WideString& executablePath)> restart;
    // Runs the Jvm in this process.
    std::function<void(Jvm&)> runInProcess;

    // How a start reaches the running instance; without an endpoint
    // function every start is an instance of its own.
    InstanceLink instances;
};

void launchImage(const PlatformLaunch& platform);
