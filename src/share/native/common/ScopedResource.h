#pragma once

// The sole owner of one operating-system resource, described by a traits
// type:
//   using Type = ...;                 what is owned (a handle, a pointer)
//   static Type invalid() noexcept;   the value that owns nothing
//   static bool isValid(Type) noexcept;
//   static void close(Type) noexcept;
//   using KeepError = ...;            saves the thread's error state on
//                                     construction, restores it on destruction
// A close never changes the error that the caller is about to read: a
// failure reported after cleanup is still the failure that happened.

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <utility>

template <class Traits>
class ScopedResource {
public:
    using Type = typename Traits::Type;

    ScopedResource() noexcept : value(Traits::invalid()) {}
    explicit ScopedResource(Type value) noexcept : value(value) {}
    ~ScopedResource() { reset(); }
    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;
    ScopedResource(ScopedResource&& other) noexcept : value(other.release()) {}
    ScopedResource& operator=(ScopedResource&& other) noexcept {
        reset(other.release());
        return *this;
    }

    Type get() const noexcept { return value; }
    // For owners of pointers to structures.
    Type operator->() const noexcept { return value; }
    explicit operator bool() const noexcept { return Traits::isValid(value); }

    // Gives up ownership without closing.
    Type release() noexcept { return std::exchange(value, Traits::invalid()); }

    // Closes what is owned (if anything) and takes the replacement.
    void reset(Type replacement = Traits::invalid()) noexcept {
        const Type old = std::exchange(value, replacement);
        if (Traits::isValid(old)) {
            const typename Traits::KeepError keep;
            Traits::close(old);
        }
    }

private:
    Type value;
};

// The C runtime's error state.
class KeepErrno {
public:
    KeepErrno() noexcept : saved(errno) {}
    ~KeepErrno() { errno = saved; }
    KeepErrno(const KeepErrno&) = delete;
    KeepErrno& operator=(const KeepErrno&) = delete;

private:
    int saved;
};

// A pointer owner whose null owns nothing.
template <class T, void (*release)(T*), class Keep = KeepErrno>
struct PointerTraits {
    using Type = T*;
    using KeepError = Keep;
    static Type invalid() noexcept { return nullptr; }
    static bool isValid(Type value) noexcept { return value != nullptr; }
    static void close(Type value) noexcept { release(value); }
};

inline void closeFile(std::FILE* file) {
    std::fclose(file);
}

template <class T>
void freeMemory(T* memory) {
    std::free(memory);
}

// A C runtime stream (fopen and its kin).
using ScopedFile = ScopedResource<PointerTraits<std::FILE, closeFile>>;

// Memory from malloc.
template <class T>
using ScopedMallocMemory = ScopedResource<PointerTraits<T, freeMemory<T>>>;
