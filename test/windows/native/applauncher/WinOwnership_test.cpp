// Whose a file or directory is, as the system's security information says.

#include "WinOwnership.h"

#include <gtest/gtest.h>

#include <aclapi.h>

#include <filesystem>
#include <fstream>

#include "TempDir.h"

namespace {

// Adds an entry to the object's access list that gives the well-known
// account the rights.
void grant(const WideString& path, WELL_KNOWN_SID_TYPE account, DWORD rights) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    ASSERT_TRUE(CreateWellKnownSid(account, nullptr, sid, &size));
    PACL old = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                    &old, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPLICIT_ACCESSW access{};
    access.grfAccessPermissions = rights;
    access.grfAccessMode = GRANT_ACCESS;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(sid);
    PACL updated = nullptr;
    ASSERT_EQ(SetEntriesInAclW(1, &access, old, &updated), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(SetNamedSecurityInfoW(const_cast<LPWSTR>(path.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, updated, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    LocalFree(updated);
    LocalFree(descriptor);
}

TEST(WinOwnership, OnlyWhatOthersCannotWriteIsTheUsers) {
    TempDir temp;
    const WideString mine = (temp.path() / "mine").wstring();
    const WideString readable = (temp.path() / "readable").wstring();
    const WideString writable = (temp.path() / "writable").wstring();
    for (const WideString& path : {mine, readable, writable}) {
        std::ofstream(std::filesystem::path(path)) << "x";
    }
    grant(readable, WinWorldSid, GENERIC_READ);
    grant(writable, WinWorldSid, GENERIC_WRITE);
    EXPECT_EQ(WinOwnership::untrustedPath(mine, false), L"");
    EXPECT_EQ(WinOwnership::untrustedPath(readable, false), L"");
    EXPECT_EQ(WinOwnership::untrustedPath(writable, false), L"others may write it (S-1-1-0)");
    EXPECT_EQ(WinOwnership::untrustedPath(temp.path().wstring(), true), L"");
    EXPECT_EQ(WinOwnership::untrustedPath(mine, true), L"it is not a directory");
    EXPECT_EQ(WinOwnership::untrustedPath(temp.path().wstring(), false), L"it is not a file");
}

} // namespace
