/* A library that must never be loaded: its initialiser creates the file
   named by VX_E2E_PLANTED. It also has the runtime's launch entry, for a
   launcher that would call it. */
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

__attribute__((constructor)) static void planted(void) {
    const char* mark = getenv("VX_E2E_PLANTED");
    if (mark) {
        int fd = open(mark, O_WRONLY | O_CREAT, 0644);
        if (fd >= 0) {
            close(fd);
        }
    }
}

__attribute__((visibility("default"))) int JLI_Launch(void) {
    return 0;
}
