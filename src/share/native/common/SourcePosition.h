#pragma once

// The file, function and line of a place in the source.

#include <string>

struct SourcePosition {
    // Path of the source file as the build knows it (may include directories).
    const char* file;
    // The function's signature as the compiler knows it; functionName()
    // derives the qualified name from it.
    const char* function;
    int line;

    // The part after the last '\\' or '/'; the whole text when there is none.
    std::string fileBaseName() const;
    // The qualified function name ("app::launch", "Jvm::~Jvm",
    // "`anonymous-namespace'::findJvmLib").
    std::string functionName() const;
};

namespace SourcePositions {
// Derives the qualified name from a compiler signature such as
// "int app::launch(const std::nothrow_t&, LaunchFunction, LogAppender*)".
std::string qualifiedName(const char* signature);
// The part of a path after its last '\\' or '/'.
std::string baseName(const char* path);
} // namespace SourcePositions

#define CURRENT_POSITION (::SourcePosition{__FILE__, __PRETTY_FUNCTION__, __LINE__})
