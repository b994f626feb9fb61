#pragma once

// Integers as wide decimal text. std::to_wstring formats through the C
// runtime's wide printf, which MinGW replaces with a C99 printf of its own
// (with the floating-point conversions some 35 KB of the launcher); this
// formats by hand.

#include <type_traits>

#include "tstrings.h"

WideString signedDecimalText(long long value);
WideString unsignedDecimalText(unsigned long long value);

template <class T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
WideString decimalText(T value) {
    if constexpr (std::is_signed_v<T>) {
        return signedDecimalText(static_cast<long long>(value));
    } else {
        return unsignedDecimalText(static_cast<unsigned long long>(value));
    }
}
