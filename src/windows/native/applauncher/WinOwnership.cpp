#include "WinOwnership.h"

#include <aclapi.h>
#include <sddl.h>
#include <vector>

#include "ScopedHandle.h"
#include "StringBuilder.h"
#include "WinErrorHandling.h"

namespace WinOwnership {

namespace {

// The rights that let a holder change the object or what it may do.
constexpr ACCESS_MASK writeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                    FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                    GENERIC_ALL;

bool isWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    return IsWellKnownSid(sid, type) != FALSE;
}

bool mayDoAnything(PSID sid, PSID user) {
    return EqualSid(sid, user) || isWellKnown(sid, WinLocalSystemSid) || isWellKnown(sid, WinBuiltinAdministratorsSid);
}

WideString sidText(PSID sid) {
    wchar_t* rawText = nullptr;
    if (!ConvertSidToStringSidW(sid, &rawText)) {
        return L"?";
    }
    const ScopedLocalMemory<wchar_t> text(rawText);
    return text.get();
}

} // namespace

bool currentUser(std::vector<unsigned char>& user) {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) {
        return false;
    }
    const ScopedHandle token(rawToken);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    user.resize(size);
    return size != 0 && GetTokenInformation(token.get(), TokenUser, user.data(), size, &size);
}

WideString untrustedObject(HANDLE object) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR rawDescriptor = nullptr;
    const DWORD error = GetSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                        &owner, nullptr, &dacl, nullptr, &rawDescriptor);
    const ScopedLocalMemory<void> descriptor(rawDescriptor);
    if (error != ERROR_SUCCESS) {
        return L"its owner cannot be read: " + systemErrorText(error, nullptr);
    }
    std::vector<unsigned char> userBlock;
    if (!currentUser(userBlock)) {
        return L"the user who runs the launcher cannot be told: " + systemErrorText(GetLastError(), nullptr);
    }
    PSID user = reinterpret_cast<const TOKEN_USER*>(userBlock.data())->User.Sid;
    if (owner == nullptr || !(EqualSid(owner, user) || isWellKnown(owner, WinBuiltinAdministratorsSid))) {
        return L"it belongs to " + (owner ? sidText(owner) : WideString(L"nobody")) + L", not to " + sidText(user) +
               L" who runs the launcher";
    }
    if (dacl == nullptr) {
        return L"it has no access list: everyone may write it";
    }
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* entry = nullptr;
        if (!GetAce(dacl, index, &entry)) {
            return L"its access list cannot be read";
        }
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0) {
            continue;
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        PSID holder = const_cast<DWORD*>(&allowed->SidStart);
        if ((allowed->Mask & writeRights) != 0 && !mayDoAnything(holder, user) &&
            !isWellKnown(holder, WinCreatorOwnerSid)) {
            return L"others may write it (" + sidText(holder) + L")";
        }
    }
    return WideString();
}

WideString untrustedPath(const WideString& path, bool directory) {
    // The handle is of the link itself where there is one.
    const ScopedHandle object(CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                          nullptr));
    if (!object) {
        return L"it cannot be opened: " + systemErrorText(GetLastError(), nullptr);
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(object.get(), &information)) {
        return L"it cannot be examined: " + systemErrorText(GetLastError(), nullptr);
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return L"it is a link or junction";
    }
    if (((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != directory) {
        return directory ? L"it is not a directory" : L"it is not a file";
    }
    return untrustedObject(object.get());
}

} // namespace WinOwnership
