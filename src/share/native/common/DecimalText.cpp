#include "DecimalText.h"

WideString signedDecimalText(long long value) {
    if (value >= 0) {
        return unsignedDecimalText(static_cast<unsigned long long>(value));
    }
    // Negated in unsigned arithmetic: the lowest value has no positive twin.
    return L'-' + unsignedDecimalText(0ULL - static_cast<unsigned long long>(value));
}

WideString unsignedDecimalText(unsigned long long value) {
    wchar_t text[20];
    std::size_t pos = sizeof(text) / sizeof(text[0]);
    do {
        text[--pos] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    return WideString(text + pos, sizeof(text) / sizeof(text[0]) - pos);
}
