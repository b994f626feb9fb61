#pragma once

// The Linux side of one launch: derives the image layout from the
// executable's path, replaces the process once with execv when
// "LD_LIBRARY_PATH" lacks the application directory, and otherwise runs the
// JVM in this process. Throws on failure.
void launchApp();

// The process's argument vector, program name first, as main received it:
// the application's arguments and what a re-exec hands on. Set before
// launchApp runs; the strings must live as long as the process.
void setCommandLine(int argc, char** argv);

// Name of the environment variable that marks a process image started by
// the launcher's own re-exec. The new image removes it as soon as it has
// read it, so neither the Java application nor anything it starts sees it.
extern const char restartMarkVariable[];

// Name of the environment variable that marks a process image started by
// the Java runtime's re-exec (see LinuxLauncher.cpp): the process id and
// the path of the runtime's launcher library.
extern const char runtimeRestartMarkVariable[];
