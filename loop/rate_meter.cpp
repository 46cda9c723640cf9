// Frame-rate intervals on the 32-bit millisecond clock.
#include "loop/rate_meter.h"

namespace {
constexpr double kSecondsPerMs = 0.001;
}

void RateMeter::Start(uint32_t now) {
    interval_start_ms = now;
    FrameCounter = 0;
}

bool RateMeter::CountFrame(uint32_t now, long double* rate) {
    ++FrameCounter;
    // Unsigned subtraction: exact modulo 2^32, so a reading taken after the
    // clock wrapped still gives the true (short) interval.
    const uint32_t elapsed_ms = now - interval_start_ms;
    // Formed at 80-bit precision, then held as a 64-bit double.
    const auto elapsed = static_cast<double>(static_cast<long double>(elapsed_ms) * kSecondsPerMs);
    if (!(elapsed > kRateIntervalSeconds)) return false;
    *rate = static_cast<long double>(FrameCounter) / static_cast<long double>(elapsed);
    return true;
}
