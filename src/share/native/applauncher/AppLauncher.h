#pragma once

// Turns the layout of an application image into a ready Jvm: finds and
// reads the config file, lets command-line arguments replace the default
// ones, makes sure the library search variable lists the application
// directory, and finds the runtime's launcher library.

#include <memory>

#include "tstrings.h"

class Jvm;

class AppLauncher {
public:
    // Reads the executable's path and the command-line arguments; throws
    // when either cannot be had.
    AppLauncher();

    AppLauncher& withRootDirectory(const WideString& value);
    AppLauncher& withAppDirectory(const WideString& value);
    AppLauncher& withDefaultRuntimeDirectory(const WideString& value);
    AppLauncher& withLibrarySearchVariable(const WideString& value);
    // Appends a library path, relative to the runtime directory, to the
    // candidates tried in order.
    AppLauncher& withJvmLibraryCandidate(const WideString& value);

    // Whether the library search variable lists the application directory
    // (whole elements, letters A-Z compared without case). Reads only.
    bool librarySearchPathHasAppDir() const;

    // Reads the config file and builds the Jvm. Appends the application
    // directory to the library search variable when it is missing there
    // (the change stays). Throws on failure.
    std::unique_ptr<Jvm> createJvmLauncher() const;

private:
    WideStringList commandArgs;
    WideString executablePath;
    WideString defaultRuntimeDirectory;
    WideString appDirectory;
    WideString librarySearchVariable;
    WideString rootDirectory;
    WideStringList jvmLibraryCandidates;
};
