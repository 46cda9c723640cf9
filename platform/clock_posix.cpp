// Clock services on POSIX systems: CLOCK_MONOTONIC for the millisecond
// counter (truncated to 32 bits, so it wraps as timeGetTime does) and
// CLOCK_REALTIME for the UTC time of day.
#include "platform/clock.h"

#include <ctime>

uint32_t ClockMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

UtcTimeOfDay UtcNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const int64_t seconds_of_day = static_cast<int64_t>(ts.tv_sec % 86400);
    return {static_cast<int>(seconds_of_day / 3600), static_cast<int>(seconds_of_day / 60 % 60),
            static_cast<int>(seconds_of_day % 60), static_cast<int>(ts.tv_nsec / 1000000)};
}
