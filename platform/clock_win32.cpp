// Clock services on Windows: the multimedia timer and the UTC system time.
#include "platform/clock.h"

#include <windows.h>
// mmsystem.h needs the types from windows.h first.
#include <mmsystem.h>

uint32_t ClockMs() { return static_cast<uint32_t>(timeGetTime()); }

UtcTimeOfDay UtcNow() {
    SYSTEMTIME st;
    GetSystemTime(&st);
    return {st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}
