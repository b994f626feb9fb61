#pragma once

// A new, empty directory under the system's temporary directory, removed
// with everything in it when the guard goes away.

#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>

#include "tstrings.h"

#ifdef _WIN32
#include <process.h>
#define VX_TEMPDIR_PID _getpid()
#else
#include <unistd.h>
#define VX_TEMPDIR_PID getpid()
#endif

class TempDir {
public:
    TempDir() {
        static std::atomic<unsigned> counter{0};
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (;;) {
            const std::filesystem::path candidate =
                base / ("vx-test-" + std::to_string(VX_TEMPDIR_PID) + "-" +
                        std::to_string(counter++));
            // create_directory is false for an existing directory: try the next name.
            if (std::filesystem::create_directory(candidate)) {
                directory = candidate;
                return;
            }
        }
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return directory; }
    WideString widePath() const { return directory.wstring(); }

private:
    std::filesystem::path directory;
};

#undef VX_TEMPDIR_PID
