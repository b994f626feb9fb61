#pragma once

// Starting the executable again as a child process, for a process whose
// "PATH" lacked the application directory: the child inherits the extended
// "PATH" and runs the JVM in-process.

#include "WinSys.h"
#include "tstrings.h"

// Name of the environment variable that marks a process started by the
// restart. The child removes it as soon as it has read it, so neither the
// Java application nor anything it starts inherits it.
extern const wchar_t restartMarkVariable[];

// Reads and removes the restart mark: true in a process that the restart
// started, which must never restart again. A child whose parent reports
// its standard error shows no message box of its own.
bool takeRestartMark();

// For the GUI launcher, before anything replaces the standard handles (the
// debug console): when this process has no usable standard error (a
// double-click), the child of a restart gets a channel for its standard
// error instead, and this process shows what came through it when the
// child fails.
void captureChildErrorsIfUnseen();

// Starts the executable with this process's own command line, start-up
// information and environment, waits for it to end and returns its exit
// code. The child runs in a job that ends it when this process ends (where
// the system lets us make one). Throws when the child cannot be started or
// waited for.
DWORD restartAsChild(const WideString& executablePath);
