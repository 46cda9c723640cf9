// Clock services on Windows: the multimedia timer, the UTC system time, the
// performance counter, and Sleep at a 1 ms timer period for pacing.
#include "platform/clock.h"

#include <windows.h>
// mmsystem.h needs the types from windows.h first.
#include <mmsystem.h>

uint32_t ClockMs() { return static_cast<uint32_t>(timeGetTime()); }

uint64_t ClockMicros() {
    LARGE_INTEGER frequency, count;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    const auto f = static_cast<uint64_t>(frequency.QuadPart);
    const auto c = static_cast<uint64_t>(count.QuadPart);
    // Whole seconds and the remainder apart, so count x 10^6 cannot overflow.
    return c / f * 1000000u + c % f * 1000000u / f;
}

void SleepMicros(uint32_t microseconds) {
    // Sleep's default granularity is the 15.6 ms system tick, coarser than
    // a frame; ask once for 1 ms, which holds until the process ends.
    static bool fine_period = false;
    if (!fine_period) {
        timeBeginPeriod(1);
        fine_period = true;
    }
    Sleep(microseconds / 1000u);
}

UtcTimeOfDay UtcNow() {
    SYSTEMTIME st;
    GetSystemTime(&st);
    return {st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}
