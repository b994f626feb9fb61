// Whose a file or directory is, as the system's security information says.

#include "WinOwnership.h"

#include <gtest/gtest.h>

#include <aclapi.h>

#include <filesystem>
#include <fstream>

#include "ClassDataSetup.h"
#include "EnvGuard.h"
#include "TempDir.h"
#include "UserJvmOptions.h"

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

// The same decisions as on Linux, as far as Wine keeps what the system
// calls say: another's write access, in an access list, turns the cache off
// and skips the options file; so does a ';' in the cache path.
TEST(WinOwnership, DecidesAboutTheCacheAndTheOptionsFile) {
    TempDir temp;
    const std::filesystem::path runtime = temp.path() / "runtime";
    std::filesystem::create_directories(runtime / "bin");
    std::ofstream(runtime / "release") << "JAVA_VERSION=\"17.0.2\"\n";
    ClassDataCache::Request request;
    request.enabled = true;
    request.executablePath = (temp.path() / "image" / "Demo.exe").wstring();
    request.runtimeLibraryPath = (runtime / "bin" / "jli.dll").wstring();
    request.listSeparator = L';';
    EnvGuard creator(ClassDataCache::creatorVariable, std::nullopt);

    const struct {
        const char* label;
        const char* home;
        bool othersMayWrite;
        bool cacheOn;
    } cases[] = {
        {"the user's own", "own", false, true},
        {"others may write it", "open", true, false},
        {"a list separator in the path", "a;b", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::filesystem::path home = temp.path() / c.home;
        // The launcher's own folder for the cache, inside the application's.
        const std::filesystem::path cache = home / "Demo" / "ClassData";
        std::filesystem::create_directories(cache);
        if (c.othersMayWrite) {
            grant(cache.wstring(), WinWorldSid, GENERIC_WRITE);
        }
        EnvGuard local(L"LOCALAPPDATA", home.wstring());
        const ClassDataCache::Plan plan = ClassDataCache::plan(request);
        EXPECT_EQ(!plan.options.empty(), c.cacheOn);
    }

    const WideString options = (temp.path() / "open.jvmopts").wstring();
    std::ofstream(std::filesystem::path(options)) << "-Xmx1g\n";
    EXPECT_EQ(UserJvmOptions::readFile(options, {L"-Xmx"}, {}), WideStringList{L"-Xmx1g"});
    grant(options, WinWorldSid, GENERIC_WRITE);
    EXPECT_EQ(UserJvmOptions::readFile(options, {L"-Xmx"}, {}), WideStringList());
}

} // namespace
