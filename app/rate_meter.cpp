// Frame-rate intervals on the 32-bit millisecond clock.
#include "app/rate_meter.h"

namespace {
constexpr double kSecondsPerMs = 0.001;
}

void RateMeter::Start(uint32_t now) {
    intervalStartMs = now;
    frameCounter = 0;
}

bool RateMeter::CountFrame(uint32_t now, long double* rate) {
    ++frameCounter;
    // Unsigned subtraction: exact modulo 2^32, so a reading taken after the
    // clock wrapped still gives the true (short) interval.
    const uint32_t elapsedMs = now - intervalStartMs;
    // Formed at 80-bit precision, then held as a 64-bit double.
    const auto elapsed = static_cast<double>(static_cast<long double>(elapsedMs) * kSecondsPerMs);
    if (!(elapsed > kRateIntervalSeconds)) return false;
    *rate = static_cast<long double>(frameCounter) / static_cast<long double>(elapsed);
    return true;
}
