#pragma once

// The file operations of the branding tool; each OS half implements them.
// Failures throw VxError<std::runtime_error> or VxError<SysError> naming
// the path.

#include <string>

#include "tstrings.h"

namespace BrandFiles {

// The whole file; larger files than branding ever needs are refused.
std::string readFile(const WideString& path);

// Creates path and writes bytes to it, with the permissions of model where
// the OS has them. Returns false, having touched nothing, when anything is
// at path already: a file, a directory or a link, which is not followed.
bool writeNewFile(const WideString& path, const std::string& bytes, const WideString& model);

// Never throws.
void removeFile(const WideString& path) noexcept;

// Puts from in place of to in one step.
void replaceFile(const WideString& from, const WideString& to);

} // namespace BrandFiles
