// Frame-rate intervals on the 32-bit millisecond clock, including its wrap.
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/core/rate_text.h"
#include "loop/rate_meter.h"

namespace {

// Feeds one frame per reading; returns the index of the first reading that
// closed the interval (or -1) and stores its rate.
template <size_t N>
int FeedFrames(RateMeter& meter, const uint32_t (&readings)[N], long double* rate) {
    for (size_t k = 0; k < N; ++k) {
        if (meter.CountFrame(readings[k], rate)) return static_cast<int>(k);
    }
    return -1;
}

TEST(RateMeter, IntervalMustExceedTwoSecondsStrictly) {
    RateMeter meter;
    meter.Start(1000);
    long double rate = -1;
    const uint32_t readings[] = {1500, 2500, 3000, 3001};
    EXPECT_EQ(FeedFrames(meter, readings, &rate), 3) << "2.000 s exactly must not close the interval";
    EXPECT_NEAR(static_cast<double>(rate), 4 / 2.001, 1e-9);
    EXPECT_EQ(FormatRate(rate), "1.99");
}

TEST(RateMeter, StartResetsTheCounter) {
    RateMeter meter;
    meter.Start(0);
    long double rate = 0;
    const uint32_t first[] = {700, 1400, 2100};
    ASSERT_EQ(FeedFrames(meter, first, &rate), 2);
    EXPECT_NEAR(static_cast<double>(rate), 3 / 2.1, 1e-9);

    meter.Start(2105);  // the fresh reading after the title was sent
    EXPECT_EQ(meter.FrameCounter, 0);
    const uint32_t second[] = {2200, 2300, 4100, 4106};
    ASSERT_EQ(FeedFrames(meter, second, &rate), 3);
    EXPECT_NEAR(static_cast<double>(rate), 4 / 2.001, 1e-9);
}

TEST(RateMeter, OneSlowFrameGivesARateBelowOneHalf) {
    RateMeter meter;
    meter.Start(50000);
    long double rate = 0;
    ASSERT_TRUE(meter.CountFrame(52300, &rate));
    EXPECT_EQ(FormatRate(rate), "0.43");
}

TEST(RateMeter, IntervalsAcrossTheClockWrap) {
    long double rate = 0;
    {
        // 256 ms before the wrap to 2048 ms after it: 2.304 s.
        RateMeter meter;
        meter.Start(0xFFFFFF00u);
        const uint32_t readings[] = {0xFFFFFFFFu, 0x00000000u, 0x00000400u, 0x00000800u};
        ASSERT_EQ(FeedFrames(meter, readings, &rate), 3) << "the title must keep updating after a wrap";
        EXPECT_NEAR(static_cast<double>(rate), 4 / 2.304, 1e-9);
    }
    {
        // Short intervals across the wrap stay short: no early title.
        RateMeter meter;
        meter.Start(0xFFFFFC18u);                            // 1000 ms before the wrap
        EXPECT_FALSE(meter.CountFrame(0x000003E7u, &rate));  // 1999 ms
        EXPECT_FALSE(meter.CountFrame(0x000003E8u, &rate));  // 2000 ms
        ASSERT_TRUE(meter.CountFrame(0x000003E9u, &rate));   // 2001 ms
        EXPECT_EQ(FormatRate(rate), "1.49");                 // 3 / 2.001
    }
    {
        // An interval may also start exactly at zero after the wrap.
        RateMeter meter;
        meter.Start(0);
        const uint32_t readings[] = {0x7FFFFFFFu, 0x80000000u};
        ASSERT_EQ(FeedFrames(meter, readings, &rate), 0);
        EXPECT_GT(rate, 0.0L);
        EXPECT_LT(rate, 1e-6L);
    }
}

TEST(RateMeter, RateIsFormedInExtendedPrecision) {
    // 11 frames in 2.2 s: the elapsed time is the double nearest 2.2, just
    // above it, so the 80-bit quotient lies just below 5 and its text is
    // truncated to 4.99; a 64-bit quotient would round up to exactly 5.
    RateMeter meter;
    meter.Start(10000);
    long double rate = 0;
    for (uint32_t k = 1; k <= 10; ++k) ASSERT_FALSE(meter.CountFrame(10000 + 200 * k, &rate)) << k;
    ASSERT_TRUE(meter.CountFrame(12200, &rate));
    EXPECT_LT(rate, 5.0L);
    EXPECT_EQ(FormatRate(rate), "4.99");
    EXPECT_EQ(FormatRate(static_cast<double>(rate)), "5.00");
}

}  // namespace
