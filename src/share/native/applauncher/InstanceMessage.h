#pragma once

// The bytes a second start exchanges with the running instance of its
// application (the library beside the image tool reads the same layout):
//
//   instance -> start   greeting: "VXI1", the instance's process id
//   start -> instance   forward:  "VXF1", the number of texts, then each
//                                 text as its byte count and its UTF-8
//                                 bytes; the first text is the working
//                                 directory, the others are the arguments
//   instance -> start   one byte: acceptedByte once it has taken them
//
// Every number is an unsigned 32-bit little-endian value.

#include <cstddef>
#include <cstdint>
#include <string>

#include "tstrings.h"

namespace InstanceMessage {

// The bounds the instance enforces: at most this many texts (the working
// directory included) and this many bytes of text in all.
constexpr std::size_t maxTexts = 4096;
constexpr std::size_t maxTextBytes = 1024 * 1024;

constexpr std::size_t greetingSize = 8;
constexpr char acceptedByte = 'A';

// The forward message of a start; false, with the reason in why, when the
// start lies outside the bounds or a text is not well-formed (an argument
// whose bytes are not UTF-8).
bool encodeForward(const WideString& workingDirectory, const WideStringList& arguments,
                   std::string& message, WideString& why);

// The process id from a greeting; false when the bytes are no greeting.
bool parseGreeting(const std::string& bytes, std::uint32_t& processId);

} // namespace InstanceMessage
