// The frame-rate text shown in the window title.
#pragma once

#include <cstddef>

// Room for the longest rate text: 20 integer digits, the point, two
// decimals and the terminating NUL.
constexpr size_t kRateTextSize = 24;

// Writes the decimal text of value with exactly two decimals, both
// truncated, into text, NUL-terminated, and returns its length: the whole
// integer part without leading zeros, a point, then two digits taken from
// the fraction by repeated multiplication by 10 in 80-bit arithmetic (so 8.2
// gives "8.19" and 59.999 gives "59.99"). Negative values and NaN give
// "0.00"; values of 2^64 and more, infinity included, saturate there.
// Allocates nothing, so the Windows programs format the rate without the
// C++ run-time's strings.
size_t FormatRateText(long double value, char (&text)[kRateTextSize]);
