// The handler that std::terminate calls by default, in place of the C++
// runtime's own.
//
// The runtime's handler names the type of an escaped exception and for that
// links in the whole symbol demangler (about 40 KB). The launcher lets no
// exception escape on purpose (the launch frame catches everything), so this
// one only says what the exception says and aborts as the runtime's does.
// Being defined here, the library's definition, and with it the demangler,
// is never linked.

#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    static bool terminating = false;
    if (!terminating) {
        terminating = true;
        if (const std::exception_ptr escaped = std::current_exception()) {
            try {
                std::rethrow_exception(escaped);
            } catch (const std::exception& error) {
                std::fputs("terminate called after throwing an exception: ", stderr);
                std::fputs(error.what(), stderr);
                std::fputc('\n', stderr);
            } catch (...) {
                std::fputs("terminate called after throwing an exception\n", stderr);
            }
        } else {
            std::fputs("terminate called without an active exception\n", stderr);
        }
    }
    std::abort();
}

} // namespace __gnu_cxx
