// The frame-rate text: truncated decimals in 80-bit arithmetic.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "tests/core/rate_text.h"

namespace {

// The last decimal of some rates depends on long double's x87 80-bit format,
// which every x86 build here must have. Elsewhere (arm64 and WebAssembly:
// 128-bit; macOS on arm64: 64-bit) those cases give what that format gives,
// and are skipped.
#if defined(__i386__) || defined(__x86_64__)
constexpr bool kEightyBitLongDouble = true;
#else
constexpr bool kEightyBitLongDouble = LDBL_MANT_DIG == 64;
#endif

TEST(RateText, ExtendedPrecisionIsAvailable) {
    if (!kEightyBitLongDouble)
        GTEST_SKIP() << "long double has " << LDBL_MANT_DIG << " significand bits here";
    EXPECT_EQ(LDBL_MANT_DIG, 64);
    volatile long double one = 1.0L;
    volatile long double tiny = 1.0L / 18446744073709551616.0L * 2.0L;  // 2^-63
    EXPECT_NE(one + tiny, one) << "x87 precision control is not set to 64 bits";
}

TEST(RateText, IntegerDigitsAndTwoDecimals) {
    EXPECT_EQ(FormatRate(0.0L), "0.00");
    EXPECT_EQ(FormatRate(0.5L), "0.50");
    EXPECT_EQ(FormatRate(7.25L), "7.25");
    EXPECT_EQ(FormatRate(10.0L), "10.00");
    EXPECT_EQ(FormatRate(100.0L), "100.00");
    EXPECT_EQ(FormatRate(1000.0L), "1000.00");
    EXPECT_EQ(FormatRate(1005.5L), "1005.50");
    EXPECT_EQ(FormatRate(9999.75L), "9999.75");
}

TEST(RateText, DecimalsAreTruncatedInBaseTwo) {
    EXPECT_EQ(FormatRate(59.999L), "59.99");
    EXPECT_EQ(FormatRate(8.2L), "8.19");
    EXPECT_EQ(FormatRate(99.99L), "99.98");
    EXPECT_EQ(FormatRate(41.375L), "41.37");
    EXPECT_EQ(FormatRate(0.999999L), "0.99");
}

TEST(RateText, EightyBitValuesKeepTheirLastDecimal) {
    if (!kEightyBitLongDouble)
        GTEST_SKIP() << "long double has " << LDBL_MANT_DIG << " significand bits here";
    // Held as 64-bit doubles these would format as 25.42 and 0.42.
    EXPECT_EQ(FormatRate(25.43L), "25.43");
    EXPECT_EQ(FormatRate(0.43L), "0.43");
    // A rate formed as frames / seconds in 80-bit arithmetic.
    volatile long double frames = 13.0L, seconds = 30.2325581395L;
    EXPECT_EQ(FormatRate(frames / seconds), "0.43");
}

TEST(RateText, LargeValuesKeepEveryIntegerDigit) {
    EXPECT_EQ(FormatRate(10000.0L), "10000.00");
    EXPECT_EQ(FormatRate(12345.678L), "12345.67");
    EXPECT_EQ(FormatRate(1000000.5L), "1000000.50");
    EXPECT_EQ(FormatRate(1e12L), "1000000000000.00");
    EXPECT_EQ(FormatRate(1e12L + 0.25L), "1000000000000.25");
    EXPECT_EQ(FormatRate(18446744073709551615.0L), "18446744073709551615.00");
    EXPECT_EQ(FormatRate(1e30L), "18446744073709551615.00");
    EXPECT_EQ(FormatRate(std::numeric_limits<long double>::infinity()), "18446744073709551615.00");
}

TEST(RateText, NegativeAndNaNGiveZero) {
    EXPECT_EQ(FormatRate(-0.0L), "0.00");
    EXPECT_EQ(FormatRate(-1.5L), "0.00");
    EXPECT_EQ(FormatRate(-std::numeric_limits<long double>::infinity()), "0.00");
    EXPECT_EQ(FormatRate(std::numeric_limits<long double>::quiet_NaN()), "0.00");
}

}  // namespace
