// The screen saver's frame for a window: the scale rule, and the moment a
// test may hold it at.
#include <gtest/gtest.h>

#include "screensaver/saver_frame.h"

namespace {

TEST(SaverFrame, ScaleFollowsThePathAndKeepsTheBaseFrameCovered) {
    struct Case {
        RenderPath path;
        int width, height;           // the window
        int scale, frame_w, frame_h;  // worked out by hand from the rule
    };
    const Case cases[] = {
        {RenderPath::kAvx2, 1280, 1024, 1, 1280, 1024},
        {RenderPath::kAvx512, 1366, 768, 1, 1366, 768},
        {RenderPath::kSimd128, 3840, 2160, 1, 3840, 2160},
        {RenderPath::kSse2, 1280, 1024, 2, 640, 512},
        {RenderPath::kSse2, 1366, 767, 2, 683, 384},   // sides rounded up: scale x frame covers the window
        {RenderPath::kPlain, 1280, 1024, 4, 320, 256},
        {RenderPath::kPlain, 1024, 768, 3, 342, 256},  // at 4 the frame (256 x 192) would miss 320 x 200
        {RenderPath::kPlain, 639, 399, 2, 320, 200},
        {RenderPath::kSse2, 500, 300, 1, 500, 300},    // at 2, 250 x 150
        {RenderPath::kPlain, 240, 150, 1, 240, 150},   // the preview stays sharp
        {RenderPath::kAvx512, 20000, 1000, 2, 10000, 500},   // wider than 16384
        {RenderPath::kAvx2, 10000, 10000, 2, 5000, 5000},    // more than 8192 x 8192 pixels
        {RenderPath::kAvx2, 16384, 4096, 1, 16384, 4096},    // exactly the limits
        {RenderPath::kAvx2, 0, -5, 1, 1, 1},
    };
    for (const Case& c : cases) {
        const SaverFrame frame = ChooseSaverFrame(c.path, c.width, c.height);
        const std::string where = std::string(RenderPathName(c.path)) + " " + std::to_string(c.width) + "x" +
                                  std::to_string(c.height);
        EXPECT_EQ(frame.scale, c.scale) << where;
        EXPECT_EQ(frame.shape.width, c.frame_w) << where;
        EXPECT_EQ(frame.shape.height, c.frame_h) << where;
    }
}

TEST(SaverFrame, MomentIsTwoDecimalNumbersOfAtMost32Bits) {
    struct Case {
        const char* text;
        uint32_t seed, time;
    };
    for (const Case& c : {Case{"1:999", 1, 999}, Case{"0:0", 0, 0}, Case{"007:010", 7, 10},
                          Case{"4294967295:4294967295", 4294967295u, 4294967295u}}) {
        uint32_t seed = 12345, time = 67890;
        EXPECT_TRUE(ParseSaverMoment(c.text, &seed, &time)) << c.text;
        EXPECT_EQ(seed, c.seed) << c.text;
        EXPECT_EQ(time, c.time) << c.text;
    }
    for (const char* bad : {"", "1", "1:", ":5", "1:2:3", "1 :2", "1: 2", "-1:2", "0x10:2", "4294967296:1",
                            "1:99999999999999999999"}) {
        uint32_t seed = 12345, time = 67890;  // left alone
        EXPECT_FALSE(ParseSaverMoment(bad, &seed, &time)) << bad;
        EXPECT_EQ(seed, 12345u) << bad;
        EXPECT_EQ(time, 67890u) << bad;
    }
    uint32_t seed = 0, time = 0;
    EXPECT_FALSE(ParseSaverMoment(nullptr, &seed, &time));
}

}  // namespace
