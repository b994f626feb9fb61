// A library that imports vxdep.dll: it loads only where the loader finds
// that dependency. It has no launch entry.

#include "StubEvents.h"

extern "C" __declspec(dllimport) int vxDependency();

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        vxDependency();
    }
    return TRUE;
}
