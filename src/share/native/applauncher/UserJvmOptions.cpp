#include "UserJvmOptions.h"

#include <cerrno>
#include <string>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Log.h"
#include "Platform.h"
#include "StringBuilder.h"
#include "TextLineReader.h"

namespace {

// Options that read further JVM options from a file: a prefix such as
// "-XX:" must not open the door to everything such a file may hold. The
// runtime's launch entry does not expand "@file" arguments (Java 17 and 25
// take such a word for the main class), but a runtime that did would read
// its file the same way.
const wchar_t* const optionsFromFile[] = {L"@", L"-XX:Flags=", L"-XX:VMOptionsFile="};

// Options that run a command or load code into the JVM: a user's file must
// not turn a prefix such as "-XX:" or "-D" into a way of running something
// as the user who starts the application (another user may have written the
// file in a shared place).
const wchar_t* const optionsThatRunCode[] = {
    L"-XX:OnError=",
    L"-XX:OnOutOfMemoryError=",
    L"-agentlib:",
    L"-agentpath:",
    L"-javaagent:",
    L"-Xrun",
    L"-Djava.system.class.loader=",
    L"-Djava.library.path=",
    L"-Xbootclasspath",
    L"--patch-module",
    L"--upgrade-module-path",
};

// Whether the option is one of the guarded ones that the prefix does not
// name: a prefix names a guarded option when it starts with it.
template <std::size_t count>
bool guardedAgainst(const WideString& option, const WideString& prefix, const wchar_t* const (&guarded)[count]) {
    for (const wchar_t* name : guarded) {
        if (tstrings::hasPrefix(option, name) && !tstrings::hasPrefix(prefix, name)) {
            return true;
        }
    }
    return false;
}

// Options that take the next argument as their value. One line is one
// argument, so such a line would take whatever the launcher puts after it
// (the main class, a property it must set).
const wchar_t* const valueInNextArgument[] = {
    L"-cp",
    L"-classpath",
    L"--class-path",
    L"-p",
    L"--module-path",
    L"--upgrade-module-path",
    L"--add-modules",
    L"--enable-native-access",
    L"-d",
    L"--describe-module",
    L"--add-reads",
    L"--add-exports",
    L"--add-opens",
    L"--limit-modules",
    L"--patch-module",
    L"--source",
    L"-m",
    L"--module",
    L"-jar",
};

bool isBlank(wchar_t ch) {
    return ch == L' ' || ch == L'\t';
}

WideString trimmed(const WideString& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

// C0 controls and DEL: a NUL would cut the argument short on its way to the
// runtime, and the others have no business in an option.
bool hasControlCharacter(const WideString& text) {
    for (const wchar_t ch : text) {
        if (ch < L' ' || ch == 0x7F) {
            return true;
        }
    }
    return false;
}

// Why the line must not reach the JVM (after the checks of refusal), or
// empty.
WideString lineRefusal(const WideString& option, const WideStringList& allowedPrefixes) {
    WideString reason = UserJvmOptions::refusal(option, allowedPrefixes);
    std::string bytes;
    if (reason.empty() && !tstrings::wideToAnsiExact(option, bytes)) {
        // The launch would refuse the whole argument list.
        reason = (StringBuilder() << "it has characters that the ANSI code page "
                                  << platform::ansiCodePage() << " cannot represent")
                     .text();
    }
    return reason;
}

void traceLeftOut(const WideString& path, std::size_t lineNumber, const WideString& reason) {
    logTrace("User JVM options file \"" << path << "\", line " << lineNumber << ": left out, "
                                        << reason);
}

} // namespace

namespace UserJvmOptions {

WideString fileVariableName(const WideString& applicationName) {
    WideString name;
    for (const wchar_t ch : applicationName) {
        if (ch >= L'a' && ch <= L'z') {
            name += static_cast<wchar_t>(ch - L'a' + L'A');
        } else if ((ch >= L'A' && ch <= L'Z') || (ch >= L'0' && ch <= L'9') || ch == L'_') {
            name += ch;
        } else {
            name += L'_';
        }
    }
    if (!name.empty() && name[0] >= L'0' && name[0] <= L'9') {
        name.insert(0, 1, L'_');
    }
    return name + L"_JVMOPTS_FILE";
}

WideString filePath(const WideString& applicationName) {
    const WideString variable = fileVariableName(applicationName);
    WideString named;
    if (platform::environmentVariable(variable.c_str(), named)) {
        logTrace(variable << "=" << named);
        return named;
    }
    const WideString directory = userConfigDirectory();
    if (directory.empty()) {
        logTrace("No directory for user settings in the environment: no user JVM options file");
        return WideString();
    }
    return PathBuilder() << directory << applicationName << applicationName + L".jvmopts";
}

WideString refusal(const WideString& option, const WideStringList& allowedPrefixes) {
    for (const wchar_t* name : valueInNextArgument) {
        if (option == name) {
            return (StringBuilder() << "\"" << name
                                    << "\" takes its value from the next argument, and a line is "
                                       "one argument")
                .text();
        }
    }
    // The reason of the first prefix that matches without admitting it.
    WideString reason;
    for (const WideString& prefix : allowedPrefixes) {
        if (prefix.empty() || !tstrings::hasPrefix(option, prefix)) {
            continue;
        }
        if (guardedAgainst(option, prefix, optionsFromFile)) {
            reason = reason.empty() ? L"it reads JVM options from a file, which only an allowed prefix that "
                                      L"names the option itself allows"
                                    : reason;
        } else if (guardedAgainst(option, prefix, optionsThatRunCode)) {
            reason = reason.empty() ? L"it runs a command or loads code, which only an allowed prefix that "
                                      L"names the option itself allows"
                                    : reason;
        } else {
            return WideString();
        }
    }
    return reason.empty() ? L"no allowed prefix matches it" : reason;
}

WideStringList readFile(const WideString& path, const WideStringList& allowedPrefixes,
                        const MacroTable& macros) {
    WideStringList options;
    TextLineReader reader(path, maxLineBytes);
    if (!reader.opened()) {
        const bool missing = errno == ENOENT;
        const std::string why = errnoText();
        if (missing) {
            logTrace("No user JVM options file \"" << path << "\"");
        } else {
            logTrace("User JVM options file \"" << path
                                                << "\": skipped, it cannot be opened: " << why);
        }
        return options;
    }
    const WideString untrusted = untrustedFile(reader.stream());
    if (!untrusted.empty()) {
        logTrace("User JVM options file \"" << path << "\": skipped, " << untrusted);
        return options;
    }
    logTrace("Reading user JVM options file \"" << path << "\"");
    TextLineReader::Line line;
    while (reader.next(line)) {
        if (line.tooLong) {
            traceLeftOut(
                path, line.number,
                (StringBuilder() << "it is longer than " << maxLineBytes << " bytes").text());
            continue;
        }
        if (!line.validUtf8) {
            traceLeftOut(path, line.number, L"it is not valid UTF-8 text");
            continue;
        }
        const WideString text = trimmed(line.text);
        if (text.empty() || text[0] == L'#') {
            continue;
        }
        if (hasControlCharacter(text)) {
            traceLeftOut(path, line.number, L"it holds a control character");
            continue;
        }
        WideString option;
        try {
            option = expandMacros(text, macros);
        } catch (const VxErrorBase& e) {
            traceLeftOut(path, line.number, tstrings::utf8ToWide(e.plainMessage()));
            continue;
        }
        const WideString reason = lineRefusal(option, allowedPrefixes);
        if (!reason.empty()) {
            traceLeftOut(path, line.number,
                         L"\"" + tstrings::excerpt(option, 200) + L"\": " + reason);
            continue;
        }
        logTrace("User JVM options file \"" << path << "\", line " << line.number << ": \""
                                            << option << "\" added");
        options.push_back(option);
    }
    if (reader.failed()) {
        const std::string why = errnoText();
        // The options of half a file are not what the user wrote: all of
        // the file or none of it.
        logTrace("User JVM options file \""
                 << path << "\": skipped, it cannot be read up to the end: " << why);
        options.clear();
    }
    return options;
}

void addTo(CfgFile& cfgFile, const WideString& applicationName, const MacroTable& macros) {
    const PropertyTable& application = cfgFile.sectionProperties(SectionId::Application);
    const auto allowed = application.find(PropertyId::UserOptions);
    if (allowed == application.end()) {
        logTrace("No \"" << PropertyId::UserOptions.name() << "\" in section \""
                         << SectionId::Application.name()
                         << "\": no user JVM options file is read");
        return;
    }
    const WideString path = filePath(applicationName);
    if (path.empty()) {
        return;
    }
    const WideStringList userOptions = readFile(path, allowed->second, macros);
    if (userOptions.empty()) {
        return;
    }
    const PropertyTable& javaOptions = cfgFile.sectionProperties(SectionId::JavaOptions);
    const auto packaged = javaOptions.find(PropertyId::JavaOptions);
    WideStringList all = packaged == javaOptions.end() ? WideStringList() : packaged->second;
    all.insert(all.end(), userOptions.begin(), userOptions.end());
    cfgFile.replaceValues(SectionId::JavaOptions, PropertyId::JavaOptions, all);
}

} // namespace UserJvmOptions
