#pragma once

// A test whose runtime stand-in records its launch entry's call in a file of
// the test's own (VX_STUB_RECORD) and returns the number in VX_STUB_EXIT,
// which tests may set. The including target needs what EnvGuard.h needs.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "EnvGuard.h"
#include "StubRuntime.h"
#include "TempDir.h"

class StubLaunchTest : public ::testing::Test {
protected:
    StubLaunchTest()
        : recordGuard(L"VX_STUB_RECORD", (temp.path() / "record.txt").wstring()),
          exitGuard(L"VX_STUB_EXIT") {}

    std::map<std::string, std::string> record() const {
        return parseRecord(readFile(temp.path() / "record.txt"));
    }

    TempDir temp;
    EnvGuard recordGuard;
    EnvGuard exitGuard;
};
