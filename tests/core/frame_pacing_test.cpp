// The pacing step of paced frame loops: sleeps that keep a steady schedule,
// and a fresh schedule, with no rush to catch up, for a loop that fell behind.
#include <gtest/gtest.h>

#include <cstdint>

#include "loop/frame_loop.h"

namespace {

TEST(FramePacing, SleepsToTheScheduleAndStartsAfreshWhenBehind) {
    constexpr uint32_t kInterval = 16667;
    struct Case {
        const char* what;
        uint64_t next_frame;  // before the step; 0 before the first frame
        uint64_t now;
        uint32_t sleep;       // expected
        uint64_t next_after;  // expected
    };
    const Case cases[] = {
        {"first frame: one interval from now", 0, 1000000, kInterval, 1000000 + kInterval},
        {"on time: the rest of the interval", 2000000, 2000000, kInterval, 2000000 + kInterval},
        {"a little late: the schedule holds", 2000000, 2005000, kInterval - 5000, 2000000 + kInterval},
        {"exactly one frame late: no sleep, schedule holds", 2000000, 2000000 + kInterval, 0,
         2000000 + kInterval},
        {"within a frame behind: no sleep, schedule holds", 2000000, 2000000 + kInterval + 100, 0,
         2000000 + kInterval},
        {"more than a frame behind: afresh from now", 2000000, 2000000 + 2 * kInterval + 1, 0,
         2000000 + 2 * kInterval + 1},
        {"far behind: afresh from now, no catching up", 2000000, 9000000, 0, 9000000},
    };
    for (const Case& c : cases) {
        uint64_t next = c.next_frame;
        EXPECT_EQ(PaceStep(c.now, kInterval, &next), c.sleep) << c.what;
        EXPECT_EQ(next, c.next_after) << c.what;
    }
}

}  // namespace
