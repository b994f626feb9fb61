#pragma once

// The Windows half's own reads of the process, below SysInfo: the one
// environment reader and the one module path loop. Each gives ERROR_SUCCESS
// with its result, or the error code of the call that failed, read right
// after it.

#include "WinSys.h"
#include "tstrings.h"

namespace platform {

// A variable set to the empty string is set (ERROR_SUCCESS, empty value);
// ERROR_ENVVAR_NOT_FOUND means that it is not set.
DWORD readEnvironmentVariable(const wchar_t* name, WideString& value);

// The path of a loaded module (null: the executable), however long.
DWORD readModuleFileName(HMODULE module, WideString& path);

} // namespace platform
