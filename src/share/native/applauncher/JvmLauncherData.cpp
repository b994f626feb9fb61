#include "JvmLauncherData.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

#include "ErrorHandling.h"
#include "Log.h"
#include "Platform.h"
#include "StringBuilder.h"
#include "app.h"

namespace {

constexpr std::uint64_t maxBlockSize = std::numeric_limits<std::int32_t>::max();
// One slot of the pointer array, which is written and read with memcpy.
constexpr std::size_t pointerSize = sizeof(char*);

class JliLaunchData {
public:
    JliLaunchData(std::string libraryPath, std::vector<std::string> argumentList)
        : libraryPath(std::move(libraryPath)), argumentList(std::move(argumentList)) {}

    // With a null destination only measures; otherwise writes the whole
    // block there. Returns the block size either way.
    std::int32_t initJvmlLauncherData(JvmlLauncherData* destination) const;

private:
    std::string libraryPath;
    std::vector<std::string> argumentList;
};

std::int32_t JliLaunchData::initJvmlLauncherData(JvmlLauncherData* destination) const {
    std::uint64_t argumentBytes = 0;
    for (const std::string& argument : argumentList) {
        argumentBytes += std::uint64_t{argument.size()} + 1;
        if (argumentBytes > maxBlockSize) {
            break; // already too large; stop before the sum could wrap
        }
    }
    const std::int32_t size =
        jvmlLauncherDataSize(libraryPath.size(), argumentList.size(), argumentBytes);
    if (size < 0) {
        throwWithPosition(std::runtime_error(
            (StringBuilder() << "Launch data of " << argumentList.size()
                             << " arguments does not fit in a JvmlLauncherData block")
                .utf8()));
    }

    if (destination) {
        char* const base = reinterpret_cast<char*>(destination);
        char* cursor = base + sizeof(JvmlLauncherData);

        // Zero the header first so that its padding (x86_64) is defined.
        std::memset(destination, 0, sizeof(JvmlLauncherData));

        std::memcpy(cursor, libraryPath.c_str(), libraryPath.size() + 1);
        destination->launcherLibraryPath = cursor;
        cursor += libraryPath.size() + 1;

        char* const slots = cursor;
        destination->argumentVector = reinterpret_cast<char**>(slots);
        destination->argumentCount = static_cast<std::int32_t>(argumentList.size());
        const char* const terminator = nullptr;
        std::memcpy(slots + argumentList.size() * pointerSize, &terminator, pointerSize);
        cursor += (argumentList.size() + 1) * pointerSize;

        for (std::size_t i = 0; i != argumentList.size(); ++i) {
            const std::string& argument = argumentList[i];
            std::memcpy(cursor, argument.c_str(), argument.size() + 1);
            std::memcpy(slots + i * pointerSize, &cursor, pointerSize);
            cursor += argument.size() + 1;
        }

        logTrace("Initialized " << size << " bytes at " << static_cast<const void*>(destination)
                                << " address");
    } else {
        logTrace("Need " << size << " bytes for JvmlLauncherData buffer");
    }
    return size;
}

void releaseJliLaunchData(JliLaunchDataHandle handle) {
    delete static_cast<JliLaunchData*>(handle);
}

std::int32_t getJvmlLauncherDataSize(JliLaunchDataHandle handle) {
    try {
        if (!handle) {
            return -1;
        }
        return static_cast<const JliLaunchData*>(handle)->initJvmlLauncherData(nullptr);
    } catch (const std::runtime_error& e) {
        logCaughtError(CURRENT_POSITION, e);
    } catch (...) {
        logUnknownError(CURRENT_POSITION);
    }
    return -1;
}

JvmlLauncherData* initJvmlLauncherData(JliLaunchDataHandle handle, void* buffer,
                                       std::int32_t bufferSize) {
    try {
        if (!handle) {
            return nullptr;
        }
        const JliLaunchData& data = *static_cast<const JliLaunchData*>(handle);
        const std::int32_t required = data.initJvmlLauncherData(nullptr);
        if (bufferSize < required) {
            return nullptr;
        }
        JvmlLauncherData* const block = static_cast<JvmlLauncherData*>(buffer);
        data.initJvmlLauncherData(block);
        // Only the exact size is accepted: a larger buffer means the caller
        // measured something else.
        return bufferSize == required ? block : nullptr;
    } catch (const std::runtime_error& e) {
        logCaughtError(CURRENT_POSITION, e);
    } catch (...) {
        logUnknownError(CURRENT_POSITION);
    }
    return nullptr;
}

const LaunchDataApi api = {releaseJliLaunchData, getJvmlLauncherDataSize, initJvmlLauncherData};

} // namespace

const LaunchDataApi* jvmLauncherGetAPI() {
    return &api;
}

const LaunchDataApi& launchDataApi() {
    return api;
}

void JliLaunchDataRelease::operator()(JliLaunchDataHandle handle) const noexcept {
    api.releaseJliLaunchData(handle);
}

JliLaunchDataOwner createJliLaunchData(std::string libraryPath, std::vector<std::string> arguments) {
    return JliLaunchDataOwner(new JliLaunchData(std::move(libraryPath), std::move(arguments)));
}

std::int32_t jvmlLauncherDataSize(std::uint64_t libraryPathLength, std::uint64_t argumentCount,
                                  std::uint64_t argumentBytes) noexcept {
    // Each term stays below 2^31 before they are combined, so nothing below
    // can wrap even for absurd inputs.
    if (libraryPathLength >= maxBlockSize || argumentCount >= maxBlockSize ||
        argumentBytes > maxBlockSize) {
        return -1;
    }
    const std::uint64_t total = sizeof(JvmlLauncherData) + (libraryPathLength + 1) +
                                pointerSize * (argumentCount + 1) + argumentBytes;
    return total > maxBlockSize ? -1 : static_cast<std::int32_t>(total);
}

JvmlLauncherData* buildLauncherDataBlock(const LaunchDataApi* table, JliLaunchDataHandle handle) {
    if (!handle) {
        return nullptr;
    }
    JvmlLauncherData* result = nullptr;
    ScopedMallocMemory<void> buffer;
    const std::int32_t size = table->getJvmlLauncherDataSize(handle);
    if (size >= 1) {
        buffer.reset(std::malloc(static_cast<std::size_t>(size)));
        if (buffer) {
            result = table->initJvmlLauncherData(handle, buffer.get(), size);
        } else {
            const int error = errno;
            printDebugLine("%s", std::strerror(error));
        }
    }
    table->releaseJliLaunchData(handle);
    // A filled block is the caller's.
    if (buffer.get() == result) {
        buffer.release();
    }
    return result;
}

int startJvmWithBlock(const JvmlLauncherData* block, JliLaunchEntry entry) {
    if (!block || !entry) {
        return -1;
    }
    printDebugLine("jli lib: [%s]", block->launcherLibraryPath);
    const char* const slots = reinterpret_cast<const char*>(block->argumentVector);
    for (std::int32_t i = 0; i < block->argumentCount; ++i) {
        const char* argument = nullptr;
        std::memcpy(&argument, slots + static_cast<std::size_t>(i) * pointerSize, pointerSize);
        printDebugLine("jli arg[%d]: [%s]", static_cast<int>(i), argument);
    }
    return entry(block->argumentCount, block->argumentVector, 0, nullptr, 0, nullptr, "", "",
                 "java", "java", 0, 0, 0, 0);
}

void printDebugLine(const char* format, ...) {
    if (!app::debugSwitchOn()) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    platform::printToStandardError(format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
}
