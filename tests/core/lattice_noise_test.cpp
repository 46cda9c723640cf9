// Noise3 and Turbulence: known values, lattice corners, continuity across
// cell edges, periodicity and the octave sum.
#include <gtest/gtest.h>

#include <cstdlib>

#include "noise/noise.h"

namespace {

class LatticeNoise : public ::testing::Test {
  protected:
    void SetUp() override { InitNoise(1); }
};

TEST_F(LatticeNoise, SeedOneKnownValues) {
    EXPECT_EQ(Noise3(512, 512, 512), 10);
    EXPECT_EQ(Noise3(100, 200, 300), -28);
    EXPECT_EQ(Noise3(-700, 900, 300), -301);
    EXPECT_EQ(Turbulence(96, 64, 999, 4), 44);
}

TEST_F(LatticeNoise, ZeroAtEveryLatticeCorner) {
    for (int32_t seed : {1, 77, -5}) {
        InitNoise(seed);
        for (int32_t cx = -3; cx <= 300; cx += 37)
            for (int32_t cy = -2; cy <= 300; cy += 41)
                for (int32_t cz : {0, 1, 255, 256, -1, 70000}) {
                    ASSERT_EQ(Noise3(cx * 1024, cy * 1024, cz * 1024), 0) << cx << " " << cy << " " << cz;
                }
        EXPECT_EQ(Turbulence(0, 0, 0, 4), 0);
        EXPECT_EQ(Turbulence(5 * 1024, -7 * 1024, 1024 * 100, 4), 0);
    }
}

TEST_F(LatticeNoise, RepeatsEvery256Cells) {
    constexpr int32_t kPeriod = 256 * 1024;
    uint32_t state = 12345;
    auto next = [&] { return state = state * 1664525u + 1013904223u; };
    for (int k = 0; k < 2000; ++k) {
        const auto x = static_cast<int32_t>(next()) / 4;
        const auto y = static_cast<int32_t>(next()) / 4;
        const auto z = static_cast<int32_t>(next()) / 4;
        const int32_t v = Noise3(x, y, z);
        ASSERT_EQ(Noise3(x + kPeriod, y, z), v);
        ASSERT_EQ(Noise3(x, y - 3 * kPeriod, z), v);
        ASSERT_EQ(Noise3(x, y, z + 7 * kPeriod), v);
    }
    // Raw 32-bit patterns: values past 2^31 decompose like their low bits.
    EXPECT_EQ(Noise3(INT32_MIN + 300, 5000, 7000), Noise3(300, 5000, 7000));
    EXPECT_EQ(Noise3(INT32_MAX, 5000, 7000), Noise3(kPeriod - 1, 5000, 7000));
}

TEST_F(LatticeNoise, ContinuousAcrossCellEdgesIncludingTheWrap) {
    // One unit apart, the fade keeps neighbouring values within a few units;
    // a wrong neighbour cell at an edge would jump by hundreds.
    for (int32_t cell : {0, 1, 100, 254, 255, 256}) {
        for (int32_t d = -3; d <= 3; ++d) {
            const int32_t x = cell * 1024 + d;
            for (int32_t y : {300, 5123, 77777}) {
                ASSERT_LE(std::abs(Noise3(x, y, 919) - Noise3(x + 1, y, 919)), 4) << x;
                ASSERT_LE(std::abs(Noise3(y, x, 919) - Noise3(y, x + 1, 919)), 4) << x;
                ASSERT_LE(std::abs(Noise3(919, y, x) - Noise3(919, y, x + 1)), 4) << x;
            }
        }
    }
    // Cell 255 blends with cell 0: just below the wrap equals just below 0.
    EXPECT_EQ(Noise3(255 * 1024 + 512, 700, 900), Noise3(-512, 700, 900));
}

TEST_F(LatticeNoise, StaysWithinTheGradientBound) {
    int32_t lo = 0, hi = 0;
    for (int32_t x = 0; x < 8 * 1024; x += 37)
        for (int32_t y = 0; y < 4 * 1024; y += 53) {
            const int32_t v = Noise3(x, y, 1234);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    EXPECT_GT(hi, 100);
    EXPECT_LT(lo, -100);
    EXPECT_LT(hi, 1774);  // sqrt(3) * 1024
    EXPECT_GT(lo, -1774);
}

TEST_F(LatticeNoise, TurbulenceSumsSignedOctavesThenTakesAbs) {
    for (int32_t x : {96, 1000, -4000, 123456})
        for (int32_t y : {64, 7, -99999}) {
            const int32_t z = 999;
            int32_t sum = 0;
            for (int k = 0; k < 4; ++k) sum += Noise3(x << k, y << k, z << k) / (1 << k);
            EXPECT_EQ(Turbulence(x, y, z, 4), std::abs(sum));
            EXPECT_EQ(Turbulence(x, y, z, 1), std::abs(Noise3(x, y, z)));
        }
}

TEST_F(LatticeNoise, OctaveCountEdges) {
    EXPECT_EQ(Turbulence(96, 64, 999, 0), 0);
    EXPECT_EQ(Turbulence(96, 64, 999, -5), 0);
    EXPECT_EQ(Turbulence(96, 64, 999, INT32_MIN), 0);
    int32_t lo = INT32_MAX;
    for (int32_t x = 1; x < 40000; x += 997) {
        const int32_t t31 = Turbulence(x, 2 * x + 5, 3 * x + 9, 31);
        ASSERT_GE(t31, 0);
        lo = std::min(lo, t31);
        // The 32nd octave divides by -2^31 and adds nothing; beyond that nothing is added.
        ASSERT_EQ(Turbulence(x, 2 * x + 5, 3 * x + 9, 32), t31);
        ASSERT_EQ(Turbulence(x, 2 * x + 5, 3 * x + 9, 1000), t31);
    }
    EXPECT_GE(lo, 0);
}

}  // namespace
