#pragma once

// The flat launch data block handed to the Java runtime's launch entry, the
// table of plain functions that produces it from a launch description, and
// the consumer functions that build the block and call the entry.
//
// The producer side (the table) keeps the description's layout and the
// launcher's error handling to itself; the consumer side needs nothing but
// the table, an opaque handle, malloc/free and standard error.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ScopedResource.h"

#ifdef _WIN32
#define VX_DLLEXPORT __declspec(dllexport)
#else
// The executable's link puts the symbol into its dynamic symbol table.
#define VX_DLLEXPORT __attribute__((visibility("default")))
#endif

// The runtime's launch entry takes fourteen 4-byte arguments that the callee
// removes: __stdcall on 32-bit Windows. x86_64 has one convention only, and
// the native build calls plain functions (test doubles).
#if defined(_WIN32) && defined(__i386__)
#define VX_JLI_CALL __stdcall
#else
#define VX_JLI_CALL
#endif

using JliLaunchEntry = int(VX_JLI_CALL*)(int argc, char** argv, int jargc, const char** jargv,
                                         int appclassc, const char** appclassv,
                                         const char* fullversion, const char* dotversion,
                                         const char* pname, const char* lname, int javaargs,
                                         int cpwildcard, int javaw, int ergo);

// The entry's export name: stdcall decoration on 32-bit Windows, none elsewhere.
#if defined(_WIN32) && defined(__i386__)
constexpr const char jliLaunchSymbol[] = "_JLI_Launch@56";
#else
constexpr const char jliLaunchSymbol[] = "JLI_Launch";
#endif

// Header of the block: 12 bytes on 32-bit targets, 24 on x86_64. The library
// path follows right after it, then the (n + 1)-slot pointer array with no
// alignment padding, then the argument strings. Every pointer is absolute
// and points into the same block, so a block must never be moved.
struct JvmlLauncherData {
    char* launcherLibraryPath;
    std::int32_t argumentCount;
    // Unaligned unless the path's length + 1 is a multiple of the pointer
    // size: read and write its slots with memcpy.
    char** argumentVector;
};

// A launch description (library path and argument list as byte strings),
// opaque to everything but the table functions.
using JliLaunchDataHandle = void*;

// Slot order is part of the exported interface. None of the functions lets
// an exception escape.
struct LaunchDataApi {
    // Destroys the description; a null handle does nothing.
    void (*releaseJliLaunchData)(JliLaunchDataHandle handle);
    // Block size in bytes, or -1 on failure.
    std::int32_t (*getJvmlLauncherDataSize)(JliLaunchDataHandle handle);
    // Fills the buffer and returns it as the block. Only a buffer of exactly
    // the measured size succeeds: a smaller one is left untouched, a larger
    // one is written, and both give null.
    JvmlLauncherData* (*initJvmlLauncherData)(JliLaunchDataHandle handle, void* buffer,
                                              std::int32_t bufferSize);
};

// The executable's only export. Always the same static table, never null.
extern "C" VX_DLLEXPORT const LaunchDataApi* jvmLauncherGetAPI();

// The same table for callers inside the program (which never go through the
// export).
const LaunchDataApi& launchDataApi();

// Owner of a launch description; releases it through the table's slot 0.
struct JliLaunchDataRelease {
    void operator()(JliLaunchDataHandle handle) const noexcept;
};
using JliLaunchDataOwner = std::unique_ptr<void, JliLaunchDataRelease>;

// The library path (UTF-8) and the argument list (ANSI code page, program
// name first), copied as they are.
JliLaunchDataOwner createJliLaunchData(std::string libraryPath, std::vector<std::string> arguments);

// Size of the block for a library path of libraryPathLength bytes and
// argumentCount arguments whose lengths plus one NUL each add up to
// argumentBytes; -1 when the block would not fit the 32-bit signed size of
// its fields. Never wraps, whatever the inputs.
std::int32_t jvmlLauncherDataSize(std::uint64_t libraryPathLength, std::uint64_t argumentCount,
                                  std::uint64_t argumentBytes) noexcept;

// Measures, allocates (malloc) and fills a block through the table; null on
// any failure. Consumes the handle in every case: slot 0 releases it exactly
// once. A null handle gives null without touching the table. The caller owns
// a non-null result and frees it with free().
JvmlLauncherData* buildLauncherDataBlock(const LaunchDataApi* api, JliLaunchDataHandle handle);

using JvmlLauncherDataBlock = ScopedMallocMemory<JvmlLauncherData>;

// Prints the debug lines of the block and calls the entry with its count and
// vector; returns the entry's result unchanged. Block and entry must not be
// null (-1 without a call if they are).
int startJvmWithBlock(const JvmlLauncherData* block, JliLaunchEntry entry);

// printf-style line (followed by "\n") on standard error, only when
// VANTORIX_DEBUG is exactly "true".
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void printDebugLine(const char* format, ...);
