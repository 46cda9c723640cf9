// The frame-rate measurement behind the window title: frames counted over
// intervals of a little more than two seconds of the millisecond clock.
#pragma once

#include <cstdint>

constexpr double kRateIntervalSeconds = 2.0;  // the title changes once an interval exceeds this

struct RateMeter {
    uint32_t interval_start_ms;  // clock reading that opened the current interval
    int32_t FrameCounter;        // frames counted since then

    // Opens a new interval at clock reading now, with no frames counted.
    void Start(uint32_t now);

    // Counts one presented frame at clock reading now. When the interval has
    // lasted strictly more than kRateIntervalSeconds, stores frames per
    // second (counted frames / elapsed seconds, in 80-bit arithmetic) in
    // *rate and returns true; the caller then shows the rate and calls Start
    // with a fresh reading. The elapsed time is the unsigned 32-bit
    // difference of the two readings, so it stays right across the clock's
    // wrap every 2^32 ms.
    bool CountFrame(uint32_t now, long double* rate);
};
