// Stands in for what starts the launcher on a user's machine, for the
// end-to-end tests:
//
//   e2ehelper start [--show N] [--title T] [--no-std-handles] [--hotkey N]
//                   [--hidden-window-station] [--set NAME=VALUE]...
//                   [--exit-code-file F] -- program [args...]
//     Starts the program with that start-up information and returns its
//     exit code: --show as a shortcut's "Run:" setting does, --title as the
//     taskbar's link name, --no-std-handles as a double-click (no standard
//     handles at all), --hotkey as a double-clicked shortcut with a hot key
//     (which takes the standard handles' field: the program inherits the
//     helper's own standard handles, set to none), --hidden-window-station
//     as a service or a scheduled
//     task whose window station nobody sees. --set changes the environment
//     the program inherits (an empty VALUE sets the empty string);
//     --exit-code-file receives the exit code in decimal, all 32 bits of
//     it (a Unix parent sees only the low byte).
//   e2ehelper ctrl-c FILE -- program [args...]
//     On a console of its own, starts the program, waits until FILE exists
//     (the stub runtime's record: the application runs), sends Ctrl+C to
//     every process on the console, and returns the program's exit code.
//   e2ehelper write-stderr KIB FILE
//     Writes KIB kibibytes to standard error (a write that fails is not
//     repeated), then creates FILE: a process that the application left
//     behind, holding the standard error it inherited.
//   e2ehelper sleep MS [token...]
//     Waits; a process that outlives another (the token names it for the
//     test).

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "ScopedHandle.h"
#include "WinSys.h"

namespace {

// The quoting that CommandLineToArgvW reverses.
void appendQuoted(std::wstring& commandLine, const std::wstring& argument) {
    if (!commandLine.empty()) {
        commandLine += L' ';
    }
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        commandLine += argument;
        return;
    }
    commandLine += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t ch : argument) {
        if (ch == L'\\') {
            ++backslashes;
            continue;
        }
        commandLine.append(ch == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        commandLine += ch;
    }
    commandLine.append(backslashes * 2, L'\\');
    commandLine += L'"';
}

int fail(const wchar_t* what) {
    std::fwprintf(stderr, L"e2ehelper: %ls failed (error %lu)\n", what, GetLastError());
    return 125;
}

int start(int argc, wchar_t** argv) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring title;
    std::wstring desktop;
    std::wstring exitCodeFile;
    int i = 2;
    for (; i < argc && std::wcscmp(argv[i], L"--") != 0; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--show" && i + 1 < argc) {
            startup.dwFlags |= STARTF_USESHOWWINDOW;
            startup.wShowWindow = static_cast<WORD>(std::wcstoul(argv[++i], nullptr, 10));
        } else if (option == L"--title" && i + 1 < argc) {
            startup.dwFlags |= STARTF_TITLEISLINKNAME;
            title = argv[++i];
        } else if (option == L"--set" && i + 1 < argc) {
            const std::wstring assignment = argv[++i];
            const std::size_t equals = assignment.find(L'=');
            if (equals == std::wstring::npos) {
                std::fwprintf(stderr, L"e2ehelper: --set needs NAME=VALUE\n");
                return 125;
            }
            SetEnvironmentVariableW(assignment.substr(0, equals).c_str(),
                                    assignment.substr(equals + 1).c_str());
        } else if (option == L"--exit-code-file" && i + 1 < argc) {
            exitCodeFile = argv[++i];
        } else if (option == L"--no-std-handles") {
            startup.dwFlags |= STARTF_USESTDHANDLES;
        } else if (option == L"--hotkey" && i + 1 < argc) {
            startup.dwFlags |= STARTF_USEHOTKEY;
            startup.hStdInput = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(std::wcstoul(argv[++i], nullptr, 10)));
            for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
                SetStdHandle(which, nullptr);
            }
        } else if (option == L"--hidden-window-station") {
            const HWINSTA station = CreateWindowStationW(L"VxHidden", 0, WINSTA_ALL_ACCESS, nullptr);
            if (!station) {
                return fail(L"CreateWindowStationW");
            }
            const HWINSTA own = GetProcessWindowStation();
            SetProcessWindowStation(station);
            const HDESK created = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
            SetProcessWindowStation(own);
            if (!created) {
                return fail(L"CreateDesktopW");
            }
            desktop = L"VxHidden\\Default";
        } else {
            std::fwprintf(stderr, L"e2ehelper: unknown option %ls\n", argv[i]);
            return 125;
        }
    }
    if (i + 1 >= argc) {
        std::fwprintf(stderr, L"e2ehelper: no program after --\n");
        return 125;
    }
    if (!title.empty()) {
        startup.lpTitle = &title[0];
    }
    if (!desktop.empty()) {
        startup.lpDesktop = &desktop[0];
    }
    std::wstring commandLine;
    for (int arg = i + 1; arg < argc; ++arg) {
        appendQuoted(commandLine, argv[arg]);
    }
    PROCESS_INFORMATION process{};
    // Standard handles are inherited as they are, unless --no-std-handles
    // left them null.
    if (!CreateProcessW(argv[i + 1], &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return fail(L"CreateProcessW");
    }
    const ScopedHandle child(process.hProcess);
    const ScopedHandle thread(process.hThread);
    WaitForSingleObject(child.get(), INFINITE);
    DWORD exitCode = 125;
    GetExitCodeProcess(child.get(), &exitCode);
    if (!exitCodeFile.empty()) {
        const ScopedFile file(_wfopen(exitCodeFile.c_str(), L"w"));
        if (file) {
            std::fprintf(file.get(), "%lu\n", exitCode);
        }
    }
    return static_cast<int>(exitCode);
}

BOOL WINAPI ignoreConsoleEvent(DWORD) {
    return TRUE;
}

int writeStderr(const wchar_t* kibibytes, const wchar_t* file) {
    const std::string line(1023, 'x');
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    for (unsigned long i = std::wcstoul(kibibytes, nullptr, 10); i > 0; --i) {
        DWORD written = 0;
        if (!WriteFile(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
            !WriteFile(error, "\n", 1, &written, nullptr)) {
            break;
        }
    }
    const ScopedHandle done(CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return done ? 0 : fail(L"CreateFileW");
}

int ctrlC(int argc, wchar_t** argv) {
    if (argc < 5 || std::wcscmp(argv[3], L"--") != 0) {
        std::fwprintf(stderr, L"e2ehelper: ctrl-c FILE -- program [args...]\n");
        return 125;
    }
    // A console program that Wine starts already has one.
    if (!AllocConsole() && GetLastError() != ERROR_ACCESS_DENIED) {
        return fail(L"AllocConsole");
    }
    // A handler routine, so that the program does not inherit "ignore Ctrl+C".
    SetConsoleCtrlHandler(ignoreConsoleEvent, TRUE);
    std::wstring commandLine;
    for (int arg = 4; arg < argc; ++arg) {
        appendQuoted(commandLine, argv[arg]);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(argv[4], &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return fail(L"CreateProcessW");
    }
    const ScopedHandle child(process.hProcess);
    const ScopedHandle thread(process.hThread);
    for (int i = 0; i < 600 && GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(50);
    }
    Sleep(200);
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
        return fail(L"GenerateConsoleCtrlEvent");
    }
    if (WaitForSingleObject(child.get(), 30000) != WAIT_OBJECT_0) {
        TerminateProcess(child.get(), 124);
        std::fwprintf(stderr, L"e2ehelper: the program did not end after Ctrl+C\n");
        return 124;
    }
    DWORD exitCode = 125;
    GetExitCodeProcess(child.get(), &exitCode);
    return static_cast<int>(exitCode);
}

} // namespace

int wmain(int argc, wchar_t** argv);

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && std::wcscmp(argv[1], L"start") == 0) {
        return start(argc, argv);
    }
    if (argc >= 2 && std::wcscmp(argv[1], L"ctrl-c") == 0) {
        return ctrlC(argc, argv);
    }
    if (argc == 4 && std::wcscmp(argv[1], L"write-stderr") == 0) {
        return writeStderr(argv[2], argv[3]);
    }
    if (argc >= 3 && std::wcscmp(argv[1], L"sleep") == 0) {
        Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
        return 0;
    }
    std::fwprintf(stderr, L"usage: e2ehelper start [options] -- program [args...] | write-stderr KIB FILE | sleep MS\n");
    return 125;
}
