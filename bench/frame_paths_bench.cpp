// Whole-frame render through each path (plain and every vector path this
// CPU runs) in one run, and one Noise3 call for scale.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "noise/noise.h"
#include "render/frame.h"
#include "render/render_path.h"
#include "render/shading.h"

namespace {

constexpr int32_t kSeed = 12345;
constexpr uint32_t kTimeStep = 37;  // successive frames at different times, as in the program

void SetUpFrame() {
    static const bool ready = [] {
        BuildPalette();
        BuildSineTable();
        InitNoise(kSeed);
        return AllocateFrameBuffers();
    }();
    if (!ready) std::abort();
}

void BM_Frame(benchmark::State& state, RenderPath path) {
    if (!RenderPathAvailable(path)) {
        state.SkipWithError("this CPU lacks the path");
        return;
    }
    SetUpFrame();
    uint32_t t = 0;
    for (auto _ : state) {
        RenderFrameWith(path, t, ByteImage, PixelBuffer);
        t += kTimeStep;
        benchmark::DoNotOptimize(PixelBuffer[0]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(BM_Frame, plain, RenderPath::Plain)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Frame, sse2, RenderPath::Sse2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Frame, avx2, RenderPath::Avx2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Frame, avx512, RenderPath::Avx512)->Unit(benchmark::kMicrosecond);

void BM_FrameBest(benchmark::State& state) {
    SetUpFrame();
    state.SetLabel(RenderPathName(BestRenderPath()));
    uint32_t t = 0;
    for (auto _ : state) {
        RenderFrameAt(t);
        t += kTimeStep;
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FrameBest)->Unit(benchmark::kMicrosecond);

void BM_Noise3(benchmark::State& state) {
    SetUpFrame();
    FixedCoord x = 12345, y = 678, z = 999;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Noise3(x, y, z));
        x += 97;  // a new point each call, as in a frame
        y += 13;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Noise3);

}  // namespace

BENCHMARK_MAIN();
