// The Windows half: the runtime's launcher library loads the VM library
// (jvm.dll) right before it creates the JVM, and only then. Where the
// launcher has loaded it itself beforehand (for a splash screen), nothing
// is told, and a non-zero result counts as a runtime that did not start.

#include "JvmStartWatch.h"

#include "WinSys.h"

JvmStartWatch::JvmStartWatch() : before(GetModuleHandleW(L"jvm.dll")) {}

bool JvmStartWatch::jvmStarted() const {
    return before == nullptr && GetModuleHandleW(L"jvm.dll") != nullptr;
}
