#pragma once

// Sole owner of a kernel handle; closes it on destruction, keeping the
// thread's last error intact so that a failure read after cleanup is still
// the failure that happened. Null and INVALID_HANDLE_VALUE both mean "none".

#include "WinSys.h"

class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle = nullptr) : handle(handle) {}
    ~ScopedHandle() { reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : handle(other.release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }

    HANDLE get() const { return handle; }
    explicit operator bool() const { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

    HANDLE release() {
        const HANDLE released = handle;
        handle = nullptr;
        return released;
    }

    void reset(HANDLE replacement = nullptr) {
        if (*this) {
            const DWORD lastError = GetLastError();
            CloseHandle(handle);
            SetLastError(lastError);
        }
        handle = replacement;
    }

private:
    HANDLE handle;
};
