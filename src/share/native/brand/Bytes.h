#pragma once

// Little-endian reading and writing of the byte layouts of executable
// images, icon files and version resources. Bytes are held in std::string.

#include <cstddef>
#include <cstdint>
#include <string>

#include "tstrings.h"

namespace Bytes {

// Throw VxError<std::runtime_error> naming what when the range lies outside
// the bytes.
std::uint16_t u16(const std::string& bytes, std::size_t offset, const char* what);
std::uint32_t u32(const std::string& bytes, std::size_t offset, const char* what);

void putU16(std::string& bytes, std::uint16_t value);
void putU32(std::string& bytes, std::uint32_t value);
void setU16(std::string& bytes, std::size_t offset, std::uint16_t value);
void setU32(std::string& bytes, std::size_t offset, std::uint32_t value);
// Appends zero bytes up to the next multiple of four.
void alignTo4(std::string& bytes);

// UTF-16LE text without a terminator, and back (from offset up to the first
// zero unit, which *end is set past; the zero must come before limit).
std::string utf16(const WideString& text);
WideString fromUtf16(const std::string& bytes, std::size_t offset, std::size_t limit, std::size_t* end,
                     const char* what);

} // namespace Bytes
