// Shading tables and the frame renderer.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "loop/frame_loop.h"
#include "noise/noise.h"
#include "render/frame.h"
#include "render/render_path.h"
#include "render/shading.h"
#include "tests/core/frame_digest.h"

namespace {

uint8_t Shade(int c, int r) { return ByteImage[r * kByteStride + c]; }

class FrameRenderer : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        BuildPalette();
        BuildSineTable();
        ASSERT_TRUE(AllocateFrameBuffers());
    }
    static void TearDownTestSuite() { FreeFrameBuffers(); }
};

TEST(ShadingTables, SineTableKnownEntriesAndOddSymmetry) {
    BuildSineTable();
    EXPECT_EQ(SineTable[0], 0);
    EXPECT_EQ(SineTable[256], 255);
    EXPECT_EQ(SineTable[512], 0);
    EXPECT_EQ(SineTable[768], -255);
    EXPECT_EQ(SineTable[1023], -2);
    EXPECT_EQ(SineTable[904], -171);
    EXPECT_EQ(SineTable[944], -120);
    for (int k = 1; k < 512; ++k) ASSERT_EQ(SineTable[1024 - k], -SineTable[k]) << k;
    for (int k = 0; k < 256; ++k) ASSERT_LE(SineTable[k], SineTable[k + 1]) << k;  // rising quarter
}

TEST(ShadingTables, PaletteGreyWithBlueTint) {
    BuildPalette();
    EXPECT_EQ(Palette[0], 0x000000u);
    EXPECT_EQ(Palette[64] & 0xFF, 128u);
    EXPECT_EQ(Palette[80], 0x505000u | 143u);
    EXPECT_EQ(Palette[128] & 0xFF, 181u);
    EXPECT_EQ(Palette[255], 0xFFFFFFu);
    uint8_t bytes[4];
    std::memcpy(bytes, &Palette[80], 4);  // memory order blue, green, red, zero
    EXPECT_EQ(bytes[0], 143);
    EXPECT_EQ(bytes[1], 80);
    EXPECT_EQ(bytes[2], 80);
    EXPECT_EQ(bytes[3], 0);
    for (uint32_t i = 0; i < 256; ++i) {
        const uint32_t p = Palette[i];
        ASSERT_EQ(p >> 24, 0u);
        ASSERT_EQ((p >> 16) & 0xFF, i);
        ASSERT_EQ((p >> 8) & 0xFF, i);
        ASSERT_GE(p & 0xFF, i);
        if (i > 0) {
            ASSERT_GE(p & 0xFF, Palette[i - 1] & 0xFF);
        }
    }
}

TEST_F(FrameRenderer, TimeZeroShadesDoNotDependOnTheTables) {
    for (int32_t seed : {1, 2, 3}) {
        InitNoise(seed);
        for (uint32_t t : {0u, 1024u, 5u * 1024u}) {
            RenderFrameAt(t);
            EXPECT_EQ(Shade(0, 0), 80);
            EXPECT_EQ(PixelBuffer[0], Palette[80]);
            EXPECT_EQ(Shade(64, 0), 49);
            EXPECT_EQ(Shade(0, 64), 71);
        }
    }
}

TEST_F(FrameRenderer, SeedOneTime999KnownPixel) {
    InitNoise(1);
    RenderFrameAt(999);
    EXPECT_EQ(Shade(6, 4), 55);
    EXPECT_EQ(PixelBuffer[4 * W + 6], 0x00373776u);
}

TEST_F(FrameRenderer, FillsAreAveragesAndNoShadeReaches255) {
    InitNoise(9);
    for (uint32_t t : {17u, 40000u, 0x55555555u}) {
        RenderFrameAt(t);
        for (int r = 0; r <= H; ++r)
            for (int c = 0; c < W; ++c) {
                const int s = Shade(c, r);
                ASSERT_LE(s, 254);
                if (r % 2 == 0 && c % 2 == 1) {
                    ASSERT_EQ(s, (Shade(c - 1, r) + Shade(c + 1, r)) / 2);
                }
                if (r % 2 == 1) {
                    ASSERT_EQ(s, (Shade(c, r - 1) + Shade(c, r + 1)) / 2);
                }
                if (r < H) {
                    ASSERT_EQ(PixelBuffer[r * W + c], Palette[s]);
                }
            }
    }
}

TEST_F(FrameRenderer, SameTimeSameFrameAndTimeMoves) {
    InitNoise(4);
    RenderFrameAt(3000);
    const std::vector<uint32_t> first(PixelBuffer, PixelBuffer + kPixelCount);
    std::fill(PixelBuffer, PixelBuffer + kPixelCount, 0xDEADBEEFu);
    RenderFrameAt(3000);
    EXPECT_EQ(first, std::vector<uint32_t>(PixelBuffer, PixelBuffer + kPixelCount));
    RenderFrameAt(3001);
    EXPECT_NE(first, std::vector<uint32_t>(PixelBuffer, PixelBuffer + kPixelCount));
}

TEST_F(FrameRenderer, FrameTimeUsesUnsignedDifference) {
    StartMs = 0xFFFFFFF0u;
    EXPECT_EQ(FrameTime(0xFFFFFFF0u), 0u);
    EXPECT_EQ(FrameTime(0xFFFFFFF2u), 0u);
    EXPECT_EQ(FrameTime(0xFFFFFFF3u), 1u);
    EXPECT_EQ(FrameTime(0x00000020u), 16u);  // 48 ms across the wrap
    StartMs = 0;
    EXPECT_EQ(FrameTime(0xFFFFFFFFu), 0x55555555u);
}

TEST_F(FrameRenderer, PinnedDigests) {
    // Any change to any pixel of these frames changes the digest.
    InitNoise(1);
    RenderFrameAt(999);
    EXPECT_EQ(FrameDigest(PixelBuffer), kDigestSeed1Time999);
    InitNoise(static_cast<int32_t>(0x80000000u));
    RenderFrameAt(0x55555555u);
    EXPECT_EQ(FrameDigest(PixelBuffer), kDigestSeedMinTimeMax);
}

}  // namespace
