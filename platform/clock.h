// The two clock services the portable core needs: a 32-bit millisecond
// counter and the UTC time of day. On Windows they are timeGetTime and
// GetSystemTime; elsewhere a monotonic clock and the real-time clock.
#pragma once

#include <cstdint>

// Milliseconds from an arbitrary origin, wrapping every 2^32 ms (49.7 days).
// Only differences of two readings, taken as unsigned 32-bit, are meaningful.
uint32_t ClockMs();

struct UtcTimeOfDay {
    int hour;         // 0..23
    int minute;       // 0..59
    int second;       // 0..59
    int millisecond;  // 0..999
};

// The current time of day in UTC.
UtcTimeOfDay UtcNow();
