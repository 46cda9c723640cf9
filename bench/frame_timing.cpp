// Times whole frames through every render path this build and CPU can run,
// with the program's own millisecond clock, and prints ms per frame and the
// speed-up over the plain path. For targets without Google Benchmark (the
// 32-bit Windows build, run under Wine).
//   frame_timing [FRAMES]   (default 400 frames per path, at least 1)
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "noise/noise.h"
#include "platform/clock.h"
#include "render/frame.h"
#include "render/render_path.h"
#include "render/shading.h"

namespace {

constexpr int kDefaultFrames = 400;
constexpr int kMaxFrames = 1000000;
constexpr int kRepeats = 3;  // best of three runs per path
constexpr int32_t kSeed = 12345;
constexpr uint32_t kTimeStep = 37;  // successive frames at different times, as in the program

// Milliseconds per frame over `frames` frames, best of kRepeats.
double TimePath(RenderPath path, int frames) {
    double best = 0;
    for (int rep = 0; rep < kRepeats; ++rep) {
        const uint32_t start = ClockMs();
        for (int f = 0; f < frames; ++f)
            RenderFrameWith(path, static_cast<uint32_t>(f) * kTimeStep, ByteImage, PixelBuffer);
        const double ms = static_cast<double>(ClockMs() - start) / frames;
        if (rep == 0 || ms < best) best = ms;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    int frames = kDefaultFrames;
    if (argc > 2) {
        std::fprintf(stderr, "frame_timing: too many arguments (usage: frame_timing [FRAMES])\n");
        return 2;
    }
    if (argc == 2) {
        char* end = nullptr;
        const long n = std::strtol(argv[1], &end, 10);
        if (end == argv[1] || *end != '\0' || n < 1 || n > kMaxFrames) {
            std::fprintf(stderr, "frame_timing: frame count must be a whole number from 1 to %d, not '%s'\n",
                         kMaxFrames, argv[1]);
            return 2;
        }
        frames = static_cast<int>(n);
    }
    if (!AllocateFrameBuffers()) {
        std::fprintf(stderr, "frame_timing: out of memory for the frame buffers\n");
        return 1;
    }
    BuildPalette();
    BuildSineTable();
    InitNoise(kSeed);

    std::printf("%-8s %10s %10s\n", "path", "ms/frame", "x plain");
    const double plain = TimePath(RenderPath::Plain, frames);
    for (RenderPath path : kAllRenderPaths) {
        if (!RenderPathAvailable(path)) {
            std::printf("%-8s %10s %10s\n", RenderPathName(path), "-", "-");
            continue;
        }
        const double ms = path == RenderPath::Plain ? plain : TimePath(path, frames);
        std::printf("%-8s %10.4f %10.1f\n", RenderPathName(path), ms, ms > 0 ? plain / ms : 0.0);
    }
    std::printf("best path: %s, %d frames per run, best of %d runs\n", RenderPathName(BestRenderPath()),
                frames, kRepeats);
    FreeFrameBuffers();
    return 0;
}
