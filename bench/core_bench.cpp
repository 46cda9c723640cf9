// Speed of the noise core: one Noise3 call and one four-octave Turbulence
// call (whole frames are timed by frame_timing).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "noise/noise.h"
#include "render/frame.h"  // kOctaves, as a frame uses them

namespace {

constexpr int kPoints = 4096;  // a power of two, so the index wraps with a mask

struct Point {
    FixedCoord x, y, z;
};

// Tables from a fixed seed and a spread of sample points with every offset
// inside the cell, so neither branch prediction nor the cache sees one
// repeated point.
const std::array<Point, kPoints>& Points() {
    static const std::array<Point, kPoints> points = [] {
        InitNoise(1);
        std::array<Point, kPoints> p{};
        uint32_t state = 2463534242u;
        auto next = [&state] {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            return static_cast<FixedCoord>(state & 0x3FFFF);  // 256 cells, the whole period
        };
        for (auto& q : p) q = {next(), next(), next()};
        return p;
    }();
    return points;
}

void BM_Noise3(benchmark::State& state) {
    const auto& points = Points();
    uint32_t k = 0;
    for (auto _ : state) {
        const Point& p = points[k++ & (kPoints - 1)];
        benchmark::DoNotOptimize(Noise3(p.x, p.y, p.z));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Noise3);

void BM_Turbulence4(benchmark::State& state) {
    const auto& points = Points();
    uint32_t k = 0;
    for (auto _ : state) {
        const Point& p = points[k++ & (kPoints - 1)];
        benchmark::DoNotOptimize(Turbulence(p.x, p.y, p.z, kOctaves));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Turbulence4);

}  // namespace
