// Times whole frames of one size split across 1, 2, ... threads up to the
// processor count (SplitRenderer, the native program's renderer), best of
// three runs, with the time of each against one thread's.
//   split_timing [WxH [FRAMES]]   (default 1920x1080 and 60 frames)
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/arg_text.h"
#include "platform/workers.h"
#include "render/frame_split.h"
#include "render/tables.h"

namespace {

constexpr int kRepeats = 3;
constexpr int32_t kSeed = 12345;
constexpr uint32_t kTimeStep = 37;  // successive frames at different times, as in the program
constexpr uint32_t kMaxFrames = 100000;

// Milliseconds per frame on threads workers, best of kRepeats runs.
double TimeSplit(const FrameShape& shape, int threads, uint32_t frames, std::vector<uint32_t>* pixels) {
    SplitRenderer renderer;
    if (!renderer.Start(threads)) return 0;
    double best = 0;
    for (int rep = 0; rep < kRepeats; ++rep) {
        const auto start = std::chrono::steady_clock::now();
        for (uint32_t f = 0; f < frames; ++f) renderer.Render(shape, f * kTimeStep, pixels->data());
        const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
        const double ms = elapsed.count() / frames;
        if (rep == 0 || ms < best) best = ms;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    FrameShape shape;
    uint32_t frames = 60;
    std::string problem;
    if (argc > 3 || !ParseFrameSize(argc > 1 ? argv[1] : "1920x1080", &shape, &problem) ||
        (argc > 2 && (!ParseUnsigned32(argv[2], &frames, &problem) || frames == 0 || frames > kMaxFrames))) {
        std::fprintf(stderr, "split_timing: usage: split_timing [WxH [FRAMES]] (FRAMES 1 to %u)\n", kMaxFrames);
        return 2;
    }
    BuildTables(kSeed);
    std::vector<uint32_t> pixels(static_cast<size_t>(shape.width) * static_cast<size_t>(shape.height));
    std::printf("%dx%d frames, %u per run, best of %d runs\n%-8s %10s %10s\n", shape.width, shape.height, frames,
                kRepeats, "threads", "ms/frame", "x 1 thread");
    double one = 0;
    for (int threads = 1; threads <= ProcessorCount() && threads <= kMaxWorkers; ++threads) {
        const double ms = TimeSplit(shape, threads, frames, &pixels);
        if (threads == 1) one = ms;
        std::printf("%-8d %10.3f %10.2f\n", threads, ms, one > 0 ? ms / one : 0.0);
    }
    return 0;
}
