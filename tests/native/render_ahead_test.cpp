// The native program's render-ahead thread: frames follow the size asked
// for, bit for bit the plain renderer's at that size, and Stop ends the
// thread whatever it is waiting for.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>
#include <vector>

#include "loop/frame_loop.h"
#include "render/frame_rows.h"
#include "render/tables.h"
#include "sdl/render_ahead.h"

namespace {

constexpr int32_t kSeed = 7;
constexpr uint32_t kHeldTime = 4321;
constexpr auto kBound = std::chrono::seconds(10);

FrameShape Shape(int width, int height) {
    FrameShape shape;
    EXPECT_TRUE(MakeFrameShape(width, height, &shape));
    return shape;
}

std::vector<uint32_t> PlainFrame(const FrameShape& shape, uint32_t t) {
    std::vector<uint32_t> pixels(static_cast<size_t>(shape.width) * static_cast<size_t>(shape.height));
    FrameScratch scratch;
    RenderFrameRows(RenderPath::kPlain, shape, t, &scratch, pixels.data(), 0, shape.height);
    return pixels;
}

// The frame CurrentFrame gives once it has width x height, polled; a frame
// of width 0 when none comes within kBound.
SizedFrame WaitForSize(RenderAhead* ahead, int width, int height) {
    const auto deadline = std::chrono::steady_clock::now() + kBound;
    for (;;) {
        const SizedFrame frame = ahead->CurrentFrame();
        if (frame.width == width && frame.height == height) return frame;
        if (std::chrono::steady_clock::now() > deadline) return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Calls Stop on another thread and ends the whole test program should it
// not return within kBound: a render thread that does not stop would
// otherwise hang the run.
void ExpectStops(RenderAhead* ahead, const char* what) {
    auto stopped = std::async(std::launch::async, [ahead] { ahead->Stop(); });
    if (stopped.wait_for(kBound) != std::future_status::ready) {
        std::fprintf(stderr, "RenderAhead::Stop did not return within %lld s %s\n",
                     static_cast<long long>(kBound.count()), what);
        std::_Exit(1);
    }
}

class RenderAheadTest : public testing::Test {
  protected:
    static void SetUpTestSuite() { PrepareTables(kSeed); }
};

TEST_F(RenderAheadTest, AHeldMomentIsRenderedAgainAtEveryNewSize) {
    FrameLoop loop;
    loop.hold_time = true;
    loop.held_time = kHeldTime;
    RenderAhead ahead;
    ASSERT_TRUE(ahead.Start(loop, Shape(320, 200), 2));
    const int sizes[][2] = {{320, 200}, {640, 400}, {333, 181}, {1920, 1080}, {1, 1}, {7, 1500}, {320, 200}};
    uint64_t last_number = 0;
    for (const auto& size : sizes) {
        SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1]);
        ahead.SetShape(Shape(size[0], size[1]));
        const SizedFrame frame = WaitForSize(&ahead, size[0], size[1]);
        ASSERT_EQ(frame.width, size[0]) << "no frame of the new size";
        EXPECT_TRUE(frame.number > last_number || last_number == 0) << "a new size is a new frame";
        last_number = frame.number;
        const std::vector<uint32_t> expected = PlainFrame(Shape(size[0], size[1]), kHeldTime);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), frame.pixels)) << "not the plain renderer's frame";
    }
    ExpectStops(&ahead, "after the sizes");
}

TEST_F(RenderAheadTest, StopEndsTheThreadWhateverItWaitsFor) {
    struct Case {
        const char* what;
        bool hold_time;
        int frames_taken;  // CurrentFrame calls before Stop
    };
    const Case cases[] = {
        {"while a held moment waits for a new size", true, 5},
        {"while the clock's moments are rendered and taken", false, 200},
        {"while the render thread waits for a slot (nothing taken)", false, 0},
        {"at once after Start", false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FrameLoop loop;
        loop.hold_time = c.hold_time;
        loop.held_time = kHeldTime;
        RenderAhead ahead;
        ASSERT_TRUE(ahead.Start(loop, Shape(640, 400), 0));
        for (int k = 0; k < c.frames_taken; ++k) {
            ASSERT_EQ(ahead.CurrentFrame().width, 640);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        if (c.frames_taken == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ExpectStops(&ahead, c.what);
        ExpectStops(&ahead, "called a second time");
    }
}

}  // namespace
