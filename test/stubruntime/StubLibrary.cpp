// The runtime's jvm.dll and splashscreen.dll stand-ins: they only report
// being loaded and unloaded. VX_STUB_NAME is set per target.

#include "StubEvents.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    reportStubAttachment(VX_STUB_NAME " loaded", VX_STUB_NAME " unloaded", reason);
    return TRUE;
}
