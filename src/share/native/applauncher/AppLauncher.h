#pragma once

// Turns the layout of an application image into a ready Jvm: finds and
// reads the config file, lets command-line arguments replace the default
// ones, makes sure the library search variable lists the application
// directory, and finds the runtime's launcher library.

#include <memory>

#include "CfgFile.h"
#include "tstrings.h"

class Jvm;

class AppLauncher {
public:
    // The running executable's absolute path and the process's command-line
    // arguments (program name excluded), as the OS half found them.
    AppLauncher(const WideString& executablePath, const WideStringList& commandArgs);

    AppLauncher& withRootDirectory(const WideString& value);
    AppLauncher& withAppDirectory(const WideString& value);
    AppLauncher& withDefaultRuntimeDirectory(const WideString& value);
    AppLauncher& withLibrarySearchVariable(const WideString& value);
    // Appends a library path, relative to the runtime directory, to the
    // candidates tried in order.
    AppLauncher& withJvmLibraryCandidate(const WideString& value);
    // Separator of the library search variable's elements and of the class
    // path handed to the JVM: ';' (the default) on Windows, ':' on POSIX.
    AppLauncher& withPathListSeparator(wchar_t value);
    // How an element of the library search variable is compared with the
    // application directory: IgnoringCase (the default) on Windows, Exact
    // where file names are case-sensitive.
    AppLauncher& withPathComparison(tstrings::TextComparison value);

    // Whether the library search variable lists the application directory
    // (whole elements, compared as withPathComparison says). Reads only.
    bool librarySearchPathHasAppDir() const;

    // The endpoint where this launch's application is to receive the
    // forwarded starts (a system property for it); empty for none.
    AppLauncher& withInstanceEndpoint(const WideString& value);

    // Reads the config file, with the macros replaced, the users' options
    // added and the command-line arguments in place of the default ones.
    // Throws on failure.
    CfgFile loadConfigFile() const;

    // Builds the Jvm from what loadConfigFile read. Appends the application
    // directory to the library search variable when it is missing there
    // (the change stays). Throws on failure.
    std::unique_ptr<Jvm> createJvmLauncher(const CfgFile& cfgFile) const;
    std::unique_ptr<Jvm> createJvmLauncher() const { return createJvmLauncher(loadConfigFile()); }

private:
    WideStringList commandArgs;
    WideString executablePath;
    WideString defaultRuntimeDirectory;
    WideString appDirectory;
    WideString librarySearchVariable;
    WideString rootDirectory;
    WideString instanceEndpoint;
    WideStringList jvmLibraryCandidates;
    wchar_t pathListSeparator = L';';
    tstrings::TextComparison pathComparison = tstrings::IgnoringCase;
};
