#pragma once

// A test whose runtime stand-in records its launch entry's calls in a file of
// the test's own (VX_STUB_RECORD) and returns the number in VX_STUB_EXIT,
// which tests may set. The including target needs what EnvGuard.h needs.

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "EnvGuard.h"
#include "LaunchRecord.h"
#include "StubRuntime.h"
#include "TempDir.h"

class StubLaunchTest : public ::testing::Test {
protected:
    StubLaunchTest()
        : recordGuard(L"VX_STUB_RECORD", recordFile().wstring()), exitGuard(L"VX_STUB_EXIT") {}

    std::filesystem::path recordFile() const { return temp.path() / "record.txt"; }

    // The calls recorded so far; clearRecord() starts afresh.
    std::vector<launchrecord::Call> calls() const { return launchrecord::read(readFile(recordFile())); }
    void clearRecord() const { std::filesystem::remove(recordFile()); }

    TempDir temp;
    EnvGuard recordGuard;
    EnvGuard exitGuard;
};
