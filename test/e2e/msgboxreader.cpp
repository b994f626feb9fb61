// Reads the message box that a launcher shows: waits for a dialog window
// with the given caption, prints the box's text as UTF-8 on standard output
// and, with --close, presses its OK button.
//
//   msgboxreader.exe <caption> [--close] [--timeout-ms N]
//
// Exit code 0 when the box was found, 2 when none appeared in time, 3 on a
// usage error.

#include <cwchar>
#include <string>

#include "WinSys.h"

namespace {

// The static control that holds a message box's text.
constexpr int messageTextControlId = 0xFFFF;

std::string utf8Of(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, nullptr);
    return bytes;
}

std::wstring controlText(HWND box, int id) {
    HWND control = GetDlgItem(box, id);
    if (!control) {
        return std::wstring();
    }
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetDlgItemTextW(box, id, &text[0], length + 1);
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

} // namespace

int wmain(int argc, wchar_t** argv);

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: msgboxreader <caption> [--close] [--timeout-ms N]\n", stderr);
        return 3;
    }
    const wchar_t* caption = argv[1];
    bool close = false;
    long timeoutMs = 10000;
    for (int i = 2; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--close") == 0) {
            close = true;
        } else if (std::wcscmp(argv[i], L"--timeout-ms") == 0 && i + 1 < argc) {
            timeoutMs = std::wcstol(argv[++i], nullptr, 10);
        } else {
            std::fputs("msgboxreader: unknown argument\n", stderr);
            return 3;
        }
    }

    // A box that is still being made or already going away has no visible
    // text yet or any more: wait for one that has.
    HWND box = nullptr;
    for (long waited = 0; waited <= timeoutMs; waited += 50) {
        box = FindWindowW(L"#32770", caption);
        if (box && IsWindowVisible(box) && GetDlgItem(box, messageTextControlId)) {
            break;
        }
        box = nullptr;
        Sleep(50);
    }
    if (!box) {
        std::fputs("msgboxreader: no message box appeared\n", stderr);
        return 2;
    }

    const std::string text = utf8Of(controlText(box, messageTextControlId));
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);

    if (close) {
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    return 0;
}
