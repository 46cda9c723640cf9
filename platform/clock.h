// The clock services the portable core needs: a 32-bit millisecond counter,
// the UTC time of day, and a microsecond counter with a sleep for pacing. On
// Windows: timeGetTime, GetSystemTime, the performance counter and Sleep at
// the finest timer period; elsewhere the monotonic and real-time clocks.
#pragma once

#include <cstdint>

// Milliseconds from an arbitrary origin, wrapping every 2^32 ms (49.7 days).
// Only differences of two readings, taken as unsigned 32-bit, are meaningful.
uint32_t ClockMs();

// Microseconds from an arbitrary origin, monotonic; 64 bits, so it does not
// wrap while a program runs.
uint64_t ClockMicros();

// Sleeps about microseconds (at the timer's resolution, on Windows whole
// milliseconds). Returns early when a signal arrives.
void SleepMicros(uint32_t microseconds);

struct UtcTimeOfDay {
    int hour;         // 0..23
    int minute;       // 0..59
    int second;       // 0..59
    int millisecond;  // 0..999
};

// The current time of day in UTC.
UtcTimeOfDay UtcNow();
