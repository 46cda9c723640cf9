// The vector render paths against the plain renderer: every byte of
// ByteImage and every pixel of PixelBuffer, for many seeds and times, each
// path forced in turn.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>
#if !defined(_WIN32)
#include <latch>
#include <thread>
#endif

#include "noise/noise.h"
#include "render/frame.h"
#include "render/render_path.h"
#include "render/shading.h"
#include "tests/core/frame_digest.h"

namespace {

constexpr int kByteCount = kByteRows * kByteStride;

struct Frame {
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> pixels;
};

// Renders through one path after filling both buffers with a pattern no
// frame produces, so cells a path fails to write show up as differences.
Frame RenderThrough(RenderPath path, uint32_t t) {
    std::memset(ByteImage, 0xA5, kByteCount);
    std::fill(PixelBuffer, PixelBuffer + kPixelCount, 0xDEADBEEFu);
    RenderFrameWith(path, t, ByteImage, PixelBuffer);
    return {std::vector<uint8_t>(ByteImage, ByteImage + kByteCount),
            std::vector<uint32_t>(PixelBuffer, PixelBuffer + kPixelCount)};
}

// Empty when equal, else where and how the first difference lies.
std::string FirstDifference(const Frame& want, const Frame& got) {
    char text[128];
    for (int k = 0; k < kByteCount; ++k) {
        if (want.bytes[k] != got.bytes[k]) {
            std::snprintf(text, sizeof text, "ByteImage row %d column %d: plain %d, fast %d", k / kByteStride,
                          k % kByteStride, want.bytes[k], got.bytes[k]);
            return text;
        }
    }
    for (int k = 0; k < kPixelCount; ++k) {
        if (want.pixels[k] != got.pixels[k]) {
            std::snprintf(text, sizeof text, "pixel row %d column %d: plain %08x, fast %08x", k / W, k % W,
                          static_cast<unsigned>(want.pixels[k]), static_cast<unsigned>(got.pixels[k]));
            return text;
        }
    }
    return {};
}

// A fixed spread of further seeds and times (the LCG of Knuth's MMIX).
std::vector<uint32_t> Spread(uint64_t state, int count) {
    std::vector<uint32_t> v;
    for (int k = 0; k < count; ++k) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        v.push_back(static_cast<uint32_t>(state >> 32));
    }
    return v;
}

std::vector<uint32_t> Seeds() {
    std::vector<uint32_t> s = {1u, 2u, 0x80000000u, 0xFFFFFFFFu, 0x7FFFFFFFu};
    for (uint32_t x : Spread(11, 4)) s.push_back(x | 1u);  // 0 would seed from the clock
    return s;
}

std::vector<uint32_t> Times() {
    std::vector<uint32_t> t = {0u,          1u,          1023u,       1024u,       1025u,
                               262143u,     262144u,     0x7FFFFBFFu, 0x7FFFFFFFu, 0x80000000u,
                               0x80000400u, 0x55555555u, 0xFFFFFFFFu};
    for (uint32_t x : Spread(29, 5)) t.push_back(x);
    return t;
}

class FastFrame : public ::testing::TestWithParam<RenderPath> {
  protected:
    static void SetUpTestSuite() {
        BuildPalette();
        BuildSineTable();
        ASSERT_TRUE(AllocateFrameBuffers());
    }
    static void TearDownTestSuite() { FreeFrameBuffers(); }

    void SetUp() override {
        if (!RenderPathAvailable(GetParam())) {
            std::printf("[ FastFrame ] %s: not run, this build or CPU lacks it\n",
                        RenderPathName(GetParam()));
            GTEST_SKIP() << RenderPathName(GetParam()) << " is not available here";
        }
        std::printf("[ FastFrame ] %s: running\n", RenderPathName(GetParam()));
    }
};

TEST_P(FastFrame, EqualsPlainForSeedsAndTimes) {
    for (uint32_t seed : Seeds()) {
        InitNoise(static_cast<int32_t>(seed));
        for (uint32_t t : Times()) {
            const Frame want = RenderThrough(RenderPath::kPlain, t);
            const Frame got = RenderThrough(GetParam(), t);
            const std::string diff = FirstDifference(want, got);
            ASSERT_TRUE(diff.empty()) << "seed " << seed << " time " << t << ": " << diff;
        }
    }
}

TEST_P(FastFrame, EqualsPlainOnConsecutiveTimes) {
    // Every time offset inside one cell of the first octave at one seed.
    InitNoise(77);
    for (uint32_t t = 40960; t < 40960 + 1024; t += 13) {
        const Frame want = RenderThrough(RenderPath::kPlain, t);
        const std::string diff = FirstDifference(want, RenderThrough(GetParam(), t));
        ASSERT_TRUE(diff.empty()) << "time " << t << ": " << diff;
    }
}

TEST_P(FastFrame, ReadsTheShadingTablesAsTheyStand) {
    // Arbitrary table contents: a path that assumed the built tables' shape
    // instead of reading them would differ.
    InitNoise(5);
    const std::vector<uint32_t> palette(Palette, Palette + kPaletteSize);
    const std::vector<int32_t> sine(SineTable, SineTable + kSineTableSize);
    const std::vector<uint32_t> mix = Spread(3, kPaletteSize + kSineTableSize);
    for (int k = 0; k < kPaletteSize; ++k) Palette[k] = mix[k];
    for (int k = 0; k < kSineTableSize; ++k) {
        // Beyond the table's -255..255, so shades overflow a byte and are cut to one.
        SineTable[k] = static_cast<int32_t>(mix[kPaletteSize + k] % 2001) - 1000;
    }
    const Frame want = RenderThrough(RenderPath::kPlain, 4321);
    const std::string diff = FirstDifference(want, RenderThrough(GetParam(), 4321));
    std::copy(palette.begin(), palette.end(), Palette);
    std::copy(sine.begin(), sine.end(), SineTable);
    EXPECT_TRUE(diff.empty()) << diff;
}

TEST_P(FastFrame, EqualsPlainWithExtremeGradients) {
    // Gradients at the ends of their range (components of +-1024, and the
    // diagonals), where packed 16-bit products and the blends are largest.
    InitNoise(8);
    constexpr int32_t kDiagonal = 591;  // 1024 / sqrt(3), truncated
    const Gradient extremes[] = {{1024, 0, 0},
                                 {-1024, 0, 0},
                                 {0, 1024, 0},
                                 {0, -1024, 0},
                                 {0, 0, 1024},
                                 {0, 0, -1024},
                                 {kDiagonal, kDiagonal, kDiagonal},
                                 {-kDiagonal, -kDiagonal, -kDiagonal},
                                 {-kDiagonal, kDiagonal, -kDiagonal},
                                 {0, 0, 0}};
    const std::vector<Gradient> saved(GradTable, GradTable + kTableEntries);
    const std::vector<uint32_t> pick = Spread(41, TableSize);
    for (int k = 0; k < TableSize; ++k) GradTable[k] = extremes[pick[k] % std::size(extremes)];
    for (int k = 0; k < TableSize + 2; ++k) GradTable[TableSize + k] = GradTable[k];  // the table's repeat
    std::string diff;
    for (uint32_t t : {0u, 511u, 999u, 0x55555555u}) {
        const Frame want = RenderThrough(RenderPath::kPlain, t);
        diff = FirstDifference(want, RenderThrough(GetParam(), t));
        if (!diff.empty()) {
            diff = "time " + std::to_string(t) + ": " + diff;
            break;
        }
    }
    std::copy(saved.begin(), saved.end(), GradTable);
    EXPECT_TRUE(diff.empty()) << diff;
}

TEST_P(FastFrame, PinnedDigests) {
    InitNoise(1);
    RenderFrameWith(GetParam(), 999, ByteImage, PixelBuffer);
    EXPECT_EQ(FrameDigest(PixelBuffer), kDigestSeed1Time999);
    InitNoise(static_cast<int32_t>(0x80000000u));
    RenderFrameWith(GetParam(), 0x55555555u, ByteImage, PixelBuffer);
    EXPECT_EQ(FrameDigest(PixelBuffer), kDigestSeedMinTimeMax);
}

INSTANTIATE_TEST_SUITE_P(Paths, FastFrame,
                         ::testing::Values(RenderPath::kSse2, RenderPath::kAvx2, RenderPath::kAvx512),
                         [](const ::testing::TestParamInfo<RenderPath>& path) {
                             return std::string(RenderPathName(path.param));
                         });

TEST(RenderPaths, BestIsAvailableAndUsedByRenderFrameAt) {
    EXPECT_TRUE(RenderPathAvailable(RenderPath::kPlain));
    const RenderPath best = BestRenderPath();
    EXPECT_TRUE(RenderPathAvailable(best));
    for (RenderPath p : kAllRenderPaths) {
        if (RenderPathAvailable(p)) {
            EXPECT_GE(static_cast<int>(best), static_cast<int>(p)) << RenderPathName(p);
        }
    }
    std::printf("[ RenderPaths ] best path here: %s\n", RenderPathName(best));
#if defined(NOISE_FAST_RENDER) && (defined(__i386__) || defined(__x86_64__))
    // SSE2 is part of x86-64 and of every machine the 32-bit build targets.
    EXPECT_TRUE(RenderPathAvailable(RenderPath::kSse2));
    EXPECT_NE(best, RenderPath::kPlain);
#else
    EXPECT_EQ(best, RenderPath::kPlain);
#endif
}

TEST(RenderPaths, NamesAreDistinct) {
    std::vector<std::string> names;
    for (RenderPath p : kAllRenderPaths) {
        const std::string name = RenderPathName(p);
        EXPECT_FALSE(name.empty());
        for (const std::string& other : names) EXPECT_NE(name, other);
        names.push_back(name);
    }
}

TEST(RenderPaths, UnavailablePathFallsBackToPlain) {
    BuildPalette();
    BuildSineTable();
    ASSERT_TRUE(AllocateFrameBuffers());
    InitNoise(3);
    const Frame plain = RenderThrough(RenderPath::kPlain, 777);
    for (RenderPath p : kAllRenderPaths) {
        // Available or not, the frame is the plain one; an unavailable path must not crash.
        EXPECT_TRUE(FirstDifference(plain, RenderThrough(p, 777)).empty()) << RenderPathName(p);
    }
    const Frame via_seam = [] {
        std::memset(ByteImage, 0xA5, kByteCount);
        RenderFrameAt(777);
        return Frame{std::vector<uint8_t>(ByteImage, ByteImage + kByteCount),
                     std::vector<uint32_t>(PixelBuffer, PixelBuffer + kPixelCount)};
    }();
    EXPECT_TRUE(FirstDifference(plain, via_seam).empty());
    FreeFrameBuffers();
}

#if !defined(_WIN32)
// The 32-bit Windows build and its tests are single-threaded (its MinGW has
// no std::thread); the frame tool renders on several threads natively.
TEST(RenderPaths, RenderFrameIntoFromConcurrentThreads) {
    BuildPalette();
    BuildSineTable();
    InitNoise(9);
    constexpr int kThreads = 4;
    constexpr int kTimesPerThread = 3;
    constexpr int kFramesPerThread = 24;
    // Each thread cycles through its own times: threads that shared scratch
    // space or buffers would hand each other's samples or pixels back.
    const std::vector<uint32_t> times = Spread(53, kThreads * kTimesPerThread);
    const auto blank_frame = [] {
        return Frame{std::vector<uint8_t>(kByteCount, 0xA5), std::vector<uint32_t>(kPixelCount, 0xDEADBEEFu)};
    };
    std::vector<Frame> want;
    for (uint32_t t : times) {
        want.push_back(blank_frame());
        RenderFramePlain(t, want.back().bytes.data(), want.back().pixels.data());
    }
    std::vector<std::string> failures(kThreads);
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k) {
        threads.emplace_back([&, k] {
            start.arrive_and_wait();
            for (int n = 0; n < kFramesPerThread && failures[k].empty(); ++n) {
                const int index = k * kTimesPerThread + n % kTimesPerThread;
                Frame got = blank_frame();
                RenderFrameInto(times[index], got.bytes.data(), got.pixels.data());
                const std::string diff = FirstDifference(want[index], got);
                if (!diff.empty()) {
                    failures[k] =
                        "thread " + std::to_string(k) + " time " + std::to_string(times[index]) + ": " + diff;
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (const std::string& failure : failures) EXPECT_TRUE(failure.empty()) << failure;
}
#endif

}  // namespace
