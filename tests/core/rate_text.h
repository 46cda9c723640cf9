// The rate text as a string, for comparing with expected text.
#pragma once

#include <string>

#include "loop/format_rate.h"

inline std::string FormatRate(long double value) {
    char text[kRateTextSize];
    return std::string(text, FormatRateText(value, text));
}
