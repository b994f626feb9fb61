#pragma once

// JVM options that users set for themselves, without admin rights: one file
// per user and application, one option a line, of which only what the
// packager allows by prefix ("app.user-options" in section "Application")
// reaches the JVM. The file can never stop the application: what cannot be
// read or is not allowed is left out, and the trace says why.

#include <cstddef>
#include <cstdio>

#include "CfgFile.h"
#include "tstrings.h"

namespace UserJvmOptions {

// A longer line (its bytes as stored, without the line end) is left out.
constexpr std::size_t maxLineBytes = 4096;

// The environment variable that names another options file:
// "<APPLICATION>_JVMOPTS_FILE", where every character of the application
// name other than A-Z, 0-9 and '_' becomes '_' after a-z have been made
// upper case, and a name that would start with a digit gets a leading '_'.
WideString fileVariableName(const WideString& applicationName);

// The options file of the application: the file the variable names when it
// is set (set to the empty string: none at all), else
// "<user config directory>/<application>/<application>.jvmopts". Empty when
// there is none.
WideString filePath(const WideString& applicationName);

// Why the option must not reach the JVM, or empty when it may: it starts
// with one of the allowed prefixes (compared exactly; an empty prefix
// allows nothing), is not an option that reads further options from a file
// unless a prefix that names that option allows it, and is not an option
// that would take the next argument as its value.
WideString refusal(const WideString& option, const WideStringList& allowedPrefixes);

// The options of the file that may reach the JVM, in file order, macros
// expanded (as in config values, before the check). Blank lines and lines
// starting with '#' are skipped; blanks and tabs around an option are
// dropped. Every line left out and a file that cannot be read are traced
// with the file, the line number and the reason; nothing here throws for
// the file's sake.
WideStringList readFile(const WideString& path, const WideStringList& allowedPrefixes,
                        const MacroTable& macros);

// Appends the user's allowed options to the "java-options" of the config
// (so that they follow the packaged ones). Reads nothing when the config has
// no "app.user-options".
void addTo(CfgFile& cfgFile, const WideString& applicationName, const MacroTable& macros);

// OS half. The directory of the user's application settings: "%APPDATA%"
// on Windows, "$XDG_CONFIG_HOME" or "$HOME/.config" on Linux, each only
// when it is an absolute path (a relative one would be looked up from
// wherever the launcher was started). Empty when the environment gives none.
WideString userConfigDirectory();

// OS half. Why the opened options file must not be read, or empty when it
// may: it must belong to the user who runs the launcher, and nobody else
// may write it.
WideString untrustedFile(std::FILE* stream);

} // namespace UserJvmOptions
