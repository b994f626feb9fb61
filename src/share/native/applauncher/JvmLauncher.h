#pragma once

// The library path and the JVM argument list of one launch, and the launch
// itself through the runtime's launch entry.

#include <functional>

#include "CfgFile.h"
#include "JvmLauncherData.h"
#include "tstrings.h"

class Jvm {
public:
    Jvm();
    ~Jvm();
    Jvm(const Jvm&) = delete;
    Jvm& operator=(const Jvm&) = delete;

    Jvm& setLibraryPath(const WideString& path);
    const WideString& libraryPath() const { return jvmLibraryPath; }

    Jvm& appendArgument(const WideString& value);
    const WideStringList& arguments() const { return argumentList; }

    // A system property of the launcher's ("-Dname=value") that goes right
    // after the app-path property. Before initFromConfigFile; outside what
    // the class-data cache's key covers.
    Jvm& addLauncherProperty(const WideString& option);

    // Appends the arguments the config file prescribes, in their fixed
    // order, after whatever is already in the list (the program name).
    // executablePath goes into the app-path property; the class path's
    // values are joined with classPathSeparator.
    Jvm& initFromConfigFile(const CfgFile& cfgFile, const WideString& executablePath,
                            wchar_t classPathSeparator);

    // True when an argument begins with "-splash:" (case-sensitive).
    bool hasSplashOption() const;

    // Byte-string copy: the library path in UTF-8, the arguments in the
    // process's ANSI code page.
    JliLaunchDataOwner makeLaunchData() const;

    // Runs the runtime's launch entry in this process and returns when the
    // Java application has ended. Throws when the entry cannot be reached or
    // returns non-zero.
    void launch();

private:
    // The class-data options (when the config file asks for the cache),
    // after the JVM options and before the app-path property.
    void appendClassDataOptions(const CfgFile& cfgFile, const WideString& executablePath, wchar_t listSeparator);

    WideString jvmLibraryPath;
    WideStringList argumentList;
    WideStringList launcherProperties;
    // Work of the class-data cache done right before the runtime starts.
    std::function<void()> beforeLaunch;
};
