#include "ImageLaunch.h"

#include "AppLauncher.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "Log.h"

namespace {

// The library search variable is read by the loader when the process
// starts: a process whose variable lacked the application directory starts
// again with it, once. A restarted process never restarts again, whatever
// its variable has become.
bool needsRestart(bool searchPathHasAppDir, bool restarted) {
    return !searchPathHasAppDir && !restarted;
}

} // namespace

void launchImage(const PlatformLaunch& platform) {
    const bool restarted = platform.takeRestartMark();

    const WideString imageRoot = FileUtils::directoryOf(platform.executablePath);

    AppLauncher appLauncher(platform.executablePath, platform.commandArgs);
    appLauncher.withRootDirectory(imageRoot)
        .withJvmLibraryCandidate(platform.jvmLibrary)
        .withAppDirectory(FileUtils::joinPath(imageRoot, L"app"))
        .withLibrarySearchVariable(platform.librarySearchVariable)
        .withDefaultRuntimeDirectory(FileUtils::joinPath(imageRoot, L"runtime"))
        .withPathListSeparator(platform.pathListSeparator)
        .withPathComparison(platform.pathComparison);

    // Asked before createJvmLauncher, which extends the variable when the
    // answer is no.
    const bool pathHasAppDir = appLauncher.librarySearchPathHasAppDir();

    const CfgFile cfgFile = appLauncher.loadConfigFile();

    // Before anything else is prepared: a forwarded start ends here, with
    // exit code 0. A restart has already tried in the process before it.
    if (platform.instances.endpoint && singleInstanceRequested(cfgFile)) {
        const WideString endpoint =
            platform.instances.endpoint(FileUtils::dropSuffix(FileUtils::fileNameOf(platform.executablePath)));
        if (!endpoint.empty()) {
            if (!restarted && forwardToInstance(platform.instances, endpoint, platform.commandArgs)) {
                return;
            }
            appLauncher.withInstanceEndpoint(endpoint);
        }
    }

    std::unique_ptr<Jvm> jvm = appLauncher.createJvmLauncher(cfgFile);

    if (platform.takeOver && platform.takeOver(jvm)) {
        return;
    }
    if (needsRestart(pathHasAppDir, restarted)) {
        jvm.reset();
        platform.restart(platform.executablePath);
        return;
    }
    platform.runInProcess(*jvm);
}
