#include "WinErrorHandling.h"

#include <string_view>

#include "Log.h"
#include "ScopedHandle.h"

namespace {

// Only the ASCII white space counts: bytes of UTF-8 sequences never do.
bool isBlank(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

std::string_view trimmedEnd(std::string_view text) {
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view trimmed(std::string_view text) {
    text = trimmedEnd(text);
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

// Replaces every "%<digits>" of a description by the insert. Without one,
// the insert and a blank beside it go, so that no placeholder reaches the
// user.
WideString fillInserts(const WideString& text, const WideString& insert) {
    WideString result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool placeholder = text[i] == L'%' && i + 1 < text.size() && text[i + 1] >= L'1' &&
                                 text[i + 1] <= L'9';
        if (!placeholder) {
            result += text[i];
            continue;
        }
        ++i;
        while (i + 1 < text.size() && text[i + 1] >= L'0' && text[i + 1] <= L'9') {
            ++i;
        }
        if (!insert.empty()) {
            result += insert;
        } else if (!result.empty() && result.back() == L' ') {
            result.pop_back();
        } else if (i + 1 < text.size() && text[i + 1] == L' ') {
            ++i;
        }
    }
    return result;
}

std::string makeMessage(const std::string& message, const char* label,
                        const void* failedFunction, DWORD errorCode, const WideString& insert) {
    std::string text = label ? label : "Some error";
    text += " [" + std::to_string(errorCode) + "]";

    // The module that holds the failed function may have its own message
    // table; no reference is taken on it.
    HMODULE module = nullptr;
    bool moduleKnown = true;
    if (failedFunction) {
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                    GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                static_cast<LPCWSTR>(failedFunction), &module)) {
            module = nullptr;
            moduleKnown = false;
            logWarning("GetModuleHandleEx() failed for " << failedFunction << " address.");
        }
    }
    if (moduleKnown) {
        text += "(" + tstrings::wideToUtf8(systemErrorText(errorCode, module, insert)) + ")";
    }
    return combineMessages(message, text);
}

} // namespace

SysError::SysError(const StringBuilder& message, const void* failedFunction, DWORD errorCode,
                   const char* label, const WideString& insert)
    : std::runtime_error(makeMessage(message.utf8(), label, failedFunction, errorCode, insert)) {}

WideString systemErrorText(DWORD errorCode, HMODULE module, const WideString& insert) {
    return (StringBuilder() << L"system error " << errorCode << L" ("
                            << systemMessageText(errorCode, module, insert) << L")").text();
}

WideString systemMessageText(DWORD errorCode, HMODULE module, const WideString& insert) {
    const DWORD systemFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                              FORMAT_MESSAGE_FROM_SYSTEM;
    wchar_t* raw = nullptr;
    // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument receives the
    // address of the allocated text.
    DWORD length = FormatMessageW(module ? systemFlags | FORMAT_MESSAGE_FROM_HMODULE : systemFlags,
                                  module, errorCode, 0, reinterpret_cast<LPWSTR>(&raw), 0, nullptr);
    if (!length && module) {
        length = FormatMessageW(systemFlags, nullptr, errorCode, 0, reinterpret_cast<LPWSTR>(&raw),
                                0, nullptr);
    }
    if (!length || !raw) {
        return L"No description available";
    }
    const ScopedLocalMemory<wchar_t> buffer(raw);

    WideString text = fillInserts(WideString(buffer.get(), length), insert);
    for (wchar_t& ch : text) {
        if (ch < L' ') {
            ch = L' ';
        }
    }
    // System texts end in a period and a line break; the first character
    // stays even when the whole text is made of them.
    std::size_t end = text.size();
    while (end > 1 && (text[end - 1] <= L' ' || text[end - 1] == L'.')) {
        --end;
    }
    text.resize(end);
    return text;
}

std::string combineMessages(const std::string& message, const std::string& more) {
    const std::string_view head = trimmedEnd(message);
    const std::string_view tail = trimmed(more);
    std::string result(head);
    if (head.empty() || tail.empty()) {
        result += tail;
        return result;
    }
    result += std::string_view(";.,:!?").find(head.back()) == std::string_view::npos ? ". " : " ";
    result += tail;
    return result;
}
