// The POSIX half: the JVM installs its own handler for SIGSEGV while it is
// created (it needs the signal for its own checks) and leaves it in place
// after its end. The runtime's launcher library does not touch it, so an
// entry that failed before creating the JVM (a library that would not load,
// its own argument errors) leaves the handler as it was.

#include "JvmStartWatch.h"

#include <csignal>

namespace {

const void* currentHandler() {
    struct sigaction action {};
    if (::sigaction(SIGSEGV, nullptr, &action) != 0) {
        return nullptr;
    }
    return (action.sa_flags & SA_SIGINFO) != 0 ? reinterpret_cast<const void*>(action.sa_sigaction)
                                                : reinterpret_cast<const void*>(action.sa_handler);
}

} // namespace

JvmStartWatch::JvmStartWatch() : before(currentHandler()) {}

bool JvmStartWatch::jvmStarted() const {
    return currentHandler() != before;
}
