// Locale-free frame-rate text with two truncated decimals.
#include "loop/format_rate.h"

#include <cstdint>

size_t FormatRateText(long double value, char (&text)[kRateTextSize]) {
    // NaN fails this test too.
    if (!(value >= 0.0L)) value = 0.0L;

    constexpr long double kTwoTo64 = 18446744073709551616.0L;
    const bool saturated = value >= kTwoTo64;
    uint64_t whole = saturated ? UINT64_MAX : static_cast<uint64_t>(value);  // truncates toward zero
    long double fraction = saturated ? 0.0L : value - static_cast<long double>(whole);

    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);

    size_t length = 0;
    while (count > 0) text[length++] = digits[--count];
    text[length++] = '.';
    for (int d = 0; d < 2; ++d) {
        fraction *= 10.0L;
        const int digit = static_cast<int>(fraction);
        fraction -= digit;
        text[length++] = static_cast<char>('0' + digit);
    }
    text[length] = '\0';
    return length;
}
