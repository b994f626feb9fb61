#pragma once

// Starting a child process: the owner of what CreateProcessW hands back,
// the job that ends the child with this process, and one start function
// that puts the child into its job before it runs and lets it inherit only
// the handles meant for it.

#include <vector>

#include "ScopedHandle.h"
#include "WinSys.h"
#include "tstrings.h"

// The process and thread handles of a started child; the thread's is
// closed first.
class ScopedProcessInformation {
public:
    ScopedProcessInformation() = default;
    explicit ScopedProcessInformation(const PROCESS_INFORMATION& info)
        : process_(info.hProcess), thread_(info.hThread), processId_(info.dwProcessId) {}

    HANDLE process() const { return process_.get(); }
    HANDLE thread() const { return thread_.get(); }
    DWORD processId() const { return processId_; }
    explicit operator bool() const { return static_cast<bool>(process_); }

private:
    // Destroyed in reverse order: the thread's handle before the process's.
    ScopedHandle process_;
    ScopedHandle thread_;
    DWORD processId_ = 0;
};

// A job that ends its processes when this process goes (ended by a service
// wrapper, an IDE's stop button or an installer holding our process id),
// from which the Java application's own processes break away silently.
// Empty when the system refuses one; the caller then goes on without it.
class ChildJob {
public:
    ChildJob();
    HANDLE get() const { return job.get(); }
    explicit operator bool() const { return static_cast<bool>(job); }

private:
    ScopedHandle job;
};

struct ChildStartOptions {
    // Handed to CreateProcessW as it is (the standard handles included).
    STARTUPINFOW startupInfo{};
    // The child's job, or null. The child is created in it where the system
    // allows, else suspended, assigned and resumed.
    HANDLE job = nullptr;
    // False: the job is never given as an attribute, as on systems that
    // lack it (the order they get can be tried anywhere).
    bool jobAttribute = true;
    // The only handles the child inherits; none when empty. Each must be
    // inheritable.
    std::vector<HANDLE> inheritedHandles;
};

// Starts the executable with the command line, running. Throws when the
// child cannot be started or resumed (a child that cannot be resumed is
// ended first).
ScopedProcessInformation startChild(const WideString& executablePath, WideString commandLine,
                                    const ChildStartOptions& options);

// The standard handles the child of startupInfo gets: its own when it
// carries STARTF_USESTDHANDLES, else this process's. Only those that this
// process lets children inherit, each once.
std::vector<HANDLE> inheritableStandardHandles(const STARTUPINFOW& startupInfo);
