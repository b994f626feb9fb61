#pragma once

// Whether a file or directory is the current user's alone: owned by the
// user (or by the Administrators group, which owns what an elevated member
// creates) and with no entry that lets anyone else write it, change its
// permissions or take it over. The system account and the Administrators
// group may: they can do anything anyway.

#include <vector>

#include "tstrings.h"
#include "WinSys.h"

namespace WinOwnership {

// The process token's user (a TOKEN_USER), in a heap block aligned as it
// needs; false, with the thread's last error, when the token cannot tell.
bool currentUser(std::vector<unsigned char>& user);

// Why the object behind the handle is not the user's alone, or empty. The
// handle needs READ_CONTROL.
WideString untrustedObject(HANDLE object);

// The same for a path, without following a link or junction at its end: a
// reparse point is refused. `directory` tells which kind is expected.
WideString untrustedPath(const WideString& path, bool directory);

} // namespace WinOwnership
