// The frame-rate text shown in the window title.
#pragma once

#include <string>

// The decimal text of value with exactly two decimals, both truncated: the
// whole integer part without leading zeros, a point, then two digits taken
// from the fraction by repeated multiplication by 10 in 80-bit arithmetic
// (so 8.2 gives "8.19" and 59.999 gives "59.99"). Negative values and NaN
// give "0.00"; values of 2^64 and more, infinity included, saturate there.
std::string FormatRate(long double value);
