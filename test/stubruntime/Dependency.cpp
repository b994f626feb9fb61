// A library that another one depends on (vxdep.dll), for the tests of where
// the loader looks for a runtime library's dependencies.

#include "StubEvents.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    reportStubAttachment("vxdep.dll loaded", "vxdep.dll unloaded", reason);
    return TRUE;
}

extern "C" __declspec(dllexport) int vxDependency();

int vxDependency() {
    return 1;
}
