// Stand-in for the runtime's jli.dll: its launch entry records how it was
// called and returns the exit code that the test chose.
//
// Environment:
//   VX_STUB_RECORD  file that each call appends its record to (none if unset)
//   VX_STUB_EXIT    decimal result of the entry (default 0)
//   VX_STUB_JVM_STARTED  when set, the entry loads bin\server\jvm.dll and
//                   keeps it, as the runtime does when it creates the JVM
//   VX_STUB_EXIT_PROCESS  when set, the entry ends the whole process with
//                   this decimal code instead of returning, as a Java
//                   application that calls System.exit does
//   VX_STUB_EXIT_CRT  the same through the exit function of the universal
//                   C runtime (ucrtbase.dll), which is how the runtime ends
//                   the process: that C runtime's exit handlers run first
//   VX_STUB_EVENTS  file that gets "jli.dll loaded", "jli.dll called" and
//                   "jli.dll unloaded" lines (jvm.dll and splashscreen.dll
//                   write their own)
//   VX_STUB_SPAWN   command line of a process that the entry starts (not
//                   waited for, no handles inherited), as an application
//                   that opens a browser or an updater does
//   VX_STUB_SPAWN_INHERIT  when set, that process inherits the handles,
//                   standard error among them
//   VX_STUB_STDIN   when set, the entry reads standard input to its end
//   VX_STUB_STDOUT, VX_STUB_STDERR  text that the entry writes to standard
//                   output or standard error
//   VX_STUB_STDERR_UTF16  when set, VX_STUB_STDERR is written in UTF-16LE
//   VX_STUB_STDERR_MB  megabytes of numbered lines written to standard error
//   VX_STUB_SLEEP_MS  milliseconds the entry waits before it ends
//   VX_STUB_CTRL_EXIT  when set, a console control event (Ctrl+C, Ctrl+Break)
//                   adds "console event <n>" to the events and ends the
//                   process with this decimal code, as the JVM does after
//                   its shutdown hooks
// The record is complete before anything is written or waited for.
//
// Record format: that of LaunchRecord.h, which the POSIX stub writes too,
// followed by lines about the process that the call runs in:
//   acp=<decimal>                      GetACP() at the time of the call
//   jvm.dll=loaded|not-loaded          GetModuleHandleW at the time of the call
//   splashscreen.dll=loaded|not-loaded
//   pid=<decimal>                      GetCurrentProcessId()
//   cmdline=<hex>                      GetCommandLineW() as UTF-8
//   VANTORIX_RESTARTED=null|<hex>      that variable as the runtime sees it
//   startup.flags=<hex> startup.show=<decimal> startup.title=null|<hex>
//                                      GetStartupInfoW's dwFlags, wShowWindow
//                                      and lpTitle
//   stdout=<type> stderr=<type>        GetFileType of the standard handles
//                                      (disk, char, pipe, unknown, none)
//   dlldir=<hex>                       GetDllDirectoryW
//   path=<hex>                         "PATH" as the runtime sees it
//   spawned=<decimal>                  process id of VX_STUB_SPAWN's process
//   stdin=<hex>                        what VX_STUB_STDIN read
//   ancestor[0]=<hex> ...              executable file names of this process,
//                                      its parent, the parent's parent, ...
//                                      (as far as the process list shows)
//
// On i686 the export is "_JLI_Launch@56" (a stdcall function that removes its
// 56 bytes of arguments); on x86_64 it is "JLI_Launch". The .def files give
// the names.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "LaunchRecord.h"
#include "StubEvents.h"

#include <tlhelp32.h>

namespace {

using launchrecord::hexOf;
using launchrecord::addLine;

const char* loadState(const wchar_t* module) {
    return GetModuleHandleW(module) ? "loaded" : "not-loaded";
}

std::string utf8Of(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return std::string();
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &bytes[0], size, nullptr, nullptr);
    bytes.resize(static_cast<std::size_t>(size - 1));
    return bytes;
}

std::string variableHex(const wchar_t* name) {
    wchar_t value[2048];
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableW(name, value, 2048);
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
        return "null";
    }
    if (length >= 2048) {
        return hexOf("(too long)");
    }
    return hexOf(utf8Of(value));
}

// The chain of processes that led to this one, so that a test can count
// how many launchers ran on the way.
void appendAncestry(std::string& record) {
    const ScopedHandle owner(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!owner) {
        return;
    }
    const HANDLE snapshot = owner.get();
    DWORD pid = GetCurrentProcessId();
    for (int depth = 0; depth < 16 && pid != 0; ++depth) {
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof(entry);
        bool found = false;
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
            if (entry.th32ProcessID == pid) {
                found = true;
                break;
            }
        }
        if (!found) {
            return;
        }
        addLine(record, "ancestor[" + std::to_string(depth) + "]", hexOf(utf8Of(entry.szExeFile)));
        pid = entry.th32ParentProcessID == pid ? 0 : entry.th32ParentProcessID;
    }
}

// The variable's value as a wide string; false when it is not set.
bool variable(const wchar_t* name, std::wstring& value) {
    SetLastError(ERROR_SUCCESS);
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        value.clear();
        return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    }
    value.assign(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, &value[0], size));
    return true;
}

const char* fileTypeOf(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return "none";
    }
    switch (GetFileType(handle)) {
    case FILE_TYPE_DISK:
        return "disk";
    case FILE_TYPE_CHAR:
        return "char";
    case FILE_TYPE_PIPE:
        return "pipe";
    default:
        return "unknown";
    }
}

void appendStartupInfo(std::string& record) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    char flags[16];
    std::snprintf(flags, sizeof(flags), "%lx", static_cast<unsigned long>(startup.dwFlags));
    addLine(record, "startup.flags", flags);
    addLine(record, "startup.show", std::to_string(startup.wShowWindow));
    addLine(record, "startup.title", startup.lpTitle ? hexOf(utf8Of(startup.lpTitle)) : "null");
    addLine(record, "stdout", fileTypeOf(STD_OUTPUT_HANDLE));
    addLine(record, "stderr", fileTypeOf(STD_ERROR_HANDLE));
    wchar_t directory[2048] = L"";
    GetDllDirectoryW(2048, directory);
    addLine(record, "dlldir", hexOf(utf8Of(directory)));
    std::wstring path;
    addLine(record, "path", variable(L"PATH", path) ? hexOf(utf8Of(path.c_str())) : "null");
}

void spawnIfAsked(std::string& record) {
    std::wstring commandLine;
    if (!variable(L"VX_STUB_SPAWN", commandLine) || commandLine.empty()) {
        return;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring unused;
    const BOOL inherit = variable(L"VX_STUB_SPAWN_INHERIT", unused) ? TRUE : FALSE;
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, inherit, 0, nullptr, nullptr,
                       &startup, &process)) {
        const ScopedHandle thread(process.hThread);
        const ScopedHandle child(process.hProcess);
        addLine(record, "spawned", std::to_string(process.dwProcessId));
    } else {
        addLine(record, "spawned", "failed");
    }
}

void readStdinIfAsked(std::string& record) {
    std::wstring unused;
    if (!variable(L"VX_STUB_STDIN", unused)) {
        return;
    }
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    addLine(record, "stdin", hexOf(bytes));
}

void writeTo(DWORD which, const char* bytes, std::size_t length) {
    DWORD written = 0;
    while (length > 0 && WriteFile(GetStdHandle(which), bytes, static_cast<DWORD>(length), &written,
                                   nullptr) && written > 0) {
        bytes += written;
        length -= written;
    }
}

void writeOutputIfAsked() {
    std::wstring text;
    if (variable(L"VX_STUB_STDOUT", text)) {
        const std::string bytes = utf8Of(text.c_str());
        writeTo(STD_OUTPUT_HANDLE, bytes.data(), bytes.size());
    }
    if (variable(L"VX_STUB_STDERR", text)) {
        std::wstring unused;
        if (variable(L"VX_STUB_STDERR_UTF16", unused)) {
            writeTo(STD_ERROR_HANDLE, reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
        } else {
            const std::string bytes = utf8Of(text.c_str());
            writeTo(STD_ERROR_HANDLE, bytes.data(), bytes.size());
        }
    }
    if (variable(L"VX_STUB_STDERR_MB", text)) {
        const unsigned long megabytes = std::wcstoul(text.c_str(), nullptr, 10);
        // Numbered lines of 64 bytes, so that a test can tell which ones arrived.
        std::string chunk;
        unsigned long number = 0;
        for (unsigned long written = 0; written < megabytes * 1024 * 1024; written += 64) {
            char row[80];
            std::snprintf(row, sizeof(row), "stderr line %010lu ...............................................", number++);
            chunk.append(row, 63);
            chunk += '\n';
            if (chunk.size() >= 65536) {
                writeTo(STD_ERROR_HANDLE, chunk.data(), chunk.size());
                chunk.clear();
            }
        }
        writeTo(STD_ERROR_HANDLE, chunk.data(), chunk.size());
    }
}

UINT ctrlExitCode = 0;

BOOL WINAPI onConsoleEvent(DWORD event) {
    const std::string text = "console event " + std::to_string(event);
    appendStubEvent(text.c_str());
    ExitProcess(ctrlExitCode);
}

void handleConsoleEventsIfAsked() {
    std::wstring code;
    if (variable(L"VX_STUB_CTRL_EXIT", code)) {
        ctrlExitCode = static_cast<UINT>(std::wcstoul(code.c_str(), nullptr, 10));
        SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    }
}

void sleepIfAsked() {
    std::wstring milliseconds;
    if (variable(L"VX_STUB_SLEEP_MS", milliseconds)) {
        Sleep(static_cast<DWORD>(std::wcstoul(milliseconds.c_str(), nullptr, 10)));
    }
}

// Loads server\jvm.dll beside this library and keeps it, as the runtime's
// launcher library does when it creates the JVM.
void startJvmIfAsked() {
    std::wstring unused;
    if (!variable(L"VX_STUB_JVM_STARTED", unused)) {
        return;
    }
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&startJvmIfAsked), &self);
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    std::wstring vm(path, length);
    vm = vm.substr(0, vm.find_last_of(L'\\') + 1) + L"server\\jvm.dll";
    LoadLibraryW(vm.c_str());
}

// The process exit code the test chose, if it chose one.
bool chosenProcessExitCode(UINT& code) {
    wchar_t value[32];
    const DWORD length = GetEnvironmentVariableW(L"VX_STUB_EXIT_PROCESS", value, 32);
    if (length == 0 || length >= 32) {
        return false;
    }
    code = static_cast<UINT>(std::wcstoul(value, nullptr, 10));
    return true;
}

int chosenExitCode() {
    wchar_t value[32];
    const DWORD length = GetEnvironmentVariableW(L"VX_STUB_EXIT", value, 32);
    if (length == 0 || length >= 32) {
        return 0;
    }
    return static_cast<int>(std::wcstol(value, nullptr, 10));
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    reportStubAttachment("jli.dll loaded", "jli.dll unloaded", reason);
    return TRUE;
}

// Exported through the .def file only.
extern "C" int __stdcall JLI_Launch(int argc, char** argv, int jargc, const char** jargv,
                                    int appclassc, const char** appclassv,
                                    const char* fullversion, const char* dotversion,
                                    const char* pname, const char* lname, int javaargs,
                                    int cpwildcard, int javaw, int ergo);

int __stdcall JLI_Launch(int argc, char** argv, int jargc, const char** jargv, int appclassc,
                         const char** appclassv, const char* fullversion, const char* dotversion,
                         const char* pname, const char* lname, int javaargs, int cpwildcard,
                         int javaw, int ergo) {
    appendStubEvent("jli.dll called");

    std::string record = launchrecord::ofCall(argc, argv, jargc, jargv, appclassc, appclassv, fullversion,
                                              dotversion, pname, lname, javaargs, cpwildcard, javaw, ergo);
    addLine(record, "acp", std::to_string(GetACP()));
    addLine(record, "jvm.dll", loadState(L"jvm.dll"));
    addLine(record, "splashscreen.dll", loadState(L"splashscreen.dll"));
    addLine(record, "pid", std::to_string(GetCurrentProcessId()));
    addLine(record, "cmdline", hexOf(utf8Of(GetCommandLineW())));
    addLine(record, "VANTORIX_RESTARTED", variableHex(L"VANTORIX_RESTARTED"));
    appendAncestry(record);
    appendStartupInfo(record);
    handleConsoleEventsIfAsked();
    spawnIfAsked(record);
    readStdinIfAsked(record);
    appendToFileNamedBy(L"VX_STUB_RECORD", record.data(), record.size());

    writeOutputIfAsked();
    sleepIfAsked();
    startJvmIfAsked();

    UINT processExitCode = 0;
    if (chosenProcessExitCode(processExitCode)) {
        ExitProcess(processExitCode);
    }
    std::wstring crtExitCode;
    if (variable(L"VX_STUB_EXIT_CRT", crtExitCode)) {
        using ExitFunction = void(__cdecl*)(int);
        const HMODULE ucrt = LoadLibraryW(L"ucrtbase.dll");
        const auto crtExit = ucrt ? reinterpret_cast<ExitFunction>(
                                        reinterpret_cast<void (*)()>(GetProcAddress(ucrt, "exit")))
                                  : nullptr;
        if (crtExit) {
            crtExit(static_cast<int>(std::wcstol(crtExitCode.c_str(), nullptr, 10)));
        }
    }

    return chosenExitCode();
}
