#pragma once

// The command line of vantorix-brand, the same on every OS: the OS halves
// only hand over the arguments and write what the tool reports.

#include "Branding.h"
#include "tstrings.h"

extern const wchar_t brandUsage[];

// The request of the arguments after the program name. Throws
// VxError<std::runtime_error> with the message to show.
BrandRequest parseBrandArguments(const WideStringList& arguments);

// Runs the tool and returns its exit code: 0 on success, 1 on any failure,
// reported through writeError as one line "vantorix-brand: <message>".
int runBrandTool(const WideStringList& arguments, void (*writeError)(const WideString& text));
