// Clock services on POSIX systems: CLOCK_MONOTONIC for the millisecond
// counter (truncated to 32 bits, so it wraps as timeGetTime does) and
// CLOCK_REALTIME for the UTC time of day; nanosleep for pacing.
#include "platform/clock.h"

#include <ctime>

uint64_t ClockMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

// Whole milliseconds of the same clock: truncating whole microseconds again
// gives what truncating the nanoseconds once would.
uint32_t ClockMs() { return static_cast<uint32_t>(ClockMicros() / 1000u); }

void SleepMicros(uint32_t microseconds) {
    // Not resumed after a signal: the caller looks at what the signal asked.
    const timespec span{static_cast<time_t>(microseconds / 1000000u),
                        static_cast<long>(microseconds % 1000000u) * 1000L};
    nanosleep(&span, nullptr);
}

UtcTimeOfDay UtcNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const int64_t seconds_of_day = static_cast<int64_t>(ts.tv_sec % 86400);
    return {static_cast<int>(seconds_of_day / 3600), static_cast<int>(seconds_of_day / 60 % 60),
            static_cast<int>(seconds_of_day % 60), static_cast<int>(ts.tv_nsec / 1000000)};
}
