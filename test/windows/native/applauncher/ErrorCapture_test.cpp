// The error pipe's access, against the real system.

#include "ErrorCapture.h"

#include <gtest/gtest.h>

#include <aclapi.h>

#include <vector>

namespace {

std::vector<unsigned char> tokenUser() {
    HANDLE raw = nullptr;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw));
    const ScopedHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    EXPECT_TRUE(GetTokenInformation(token.get(), TokenUser, user.data(), size, &size));
    return user;
}

TEST(ErrorCapture, OnlyTheCurrentUserMayOpenThePipe) {
    ErrorCapture capture;
    // The child's end is for writing only; a duplicate may read the pipe's
    // security, which the pipe grants its owner.
    HANDLE raw = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), capture.childEnd(), GetCurrentProcess(), &raw,
                                READ_CONTROL, FALSE, 0));
    const ScopedHandle readable(raw);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(readable.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &dacl, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_NE(dacl, nullptr);
    EXPECT_EQ(dacl->AceCount, 1);
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, 0, &ace));
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    const std::vector<unsigned char> user = tokenUser();
    EXPECT_TRUE(EqualSid(const_cast<DWORD*>(&allowed->SidStart),
                         reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid));
    LocalFree(descriptor);
}

} // namespace
