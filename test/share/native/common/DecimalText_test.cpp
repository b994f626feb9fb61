// Integers as decimal text, checked against std::to_wstring at the limits of
// each width and signedness.

#include "DecimalText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

template <class T>
void expectLimitsAsToWstring() {
    for (const T value : {std::numeric_limits<T>::min(), static_cast<T>(std::numeric_limits<T>::min() + 1),
                          T(0), T(1), T(9), T(10), std::numeric_limits<T>::max()}) {
        SCOPED_TRACE(std::to_string(value));
        EXPECT_EQ(decimalText(value), std::to_wstring(value));
    }
}

TEST(DecimalText, LimitsOfEachIntegerType) {
    expectLimitsAsToWstring<std::int8_t>();
    expectLimitsAsToWstring<std::uint16_t>();
    expectLimitsAsToWstring<int>();
    expectLimitsAsToWstring<unsigned long>();
    expectLimitsAsToWstring<std::int64_t>();
    expectLimitsAsToWstring<std::uint64_t>();
    EXPECT_EQ(decimalText(-1000), L"-1000");
}

} // namespace
