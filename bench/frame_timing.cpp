// Times whole frames through every render path this build and CPU can run,
// with a steady clock: microseconds per frame, frames per second and the
// speed-up over the plain path, then names the path the program picks.
// Builds for every target, the 32-bit Windows one included (run under Wine).
//   frame_timing [FRAMES]   (default 400 frames per path, at least 1)
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "noise/noise.h"
#include "render/frame.h"
#include "render/render_path.h"
#include "render/tables.h"

namespace {

constexpr int kDefaultFrames = 400;
constexpr int kMaxFrames = 1000000;
constexpr int kRepeats = 3;  // best of three runs per path
constexpr int32_t kSeed = 12345;
constexpr uint32_t kTimeStep = 37;  // successive frames at different times, as in the program

// Microseconds per frame over `frames` frames, best of kRepeats.
double TimePath(RenderPath path, int frames) {
    double best = 0;
    for (int rep = 0; rep < kRepeats; ++rep) {
        const auto start = std::chrono::steady_clock::now();
        for (int f = 0; f < frames; ++f)
            RenderFrameWith(path, static_cast<uint32_t>(f) * kTimeStep, ByteImage, PixelBuffer);
        const std::chrono::duration<double, std::micro> elapsed = std::chrono::steady_clock::now() - start;
        const double us = elapsed.count() / frames;
        if (rep == 0 || us < best) best = us;
    }
    return best;
}

void PrintRow(const char* name, double us, double plain) {
    std::printf("%-8s %12.1f %12.0f %10.1f\n", name, us, us > 0 ? 1e6 / us : 0.0, us > 0 ? plain / us : 0.0);
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
    BuildTables(kSeed);

    std::printf("%-8s %12s %12s %10s\n", "path", "us/frame", "frames/s", "x plain");
    const double plain = TimePath(RenderPath::kPlain, frames);
    for (RenderPath path : kAllRenderPaths) {
        if (!RenderPathAvailable(path)) {
            std::printf("%-8s %12s %12s %10s\n", RenderPathName(path), "-", "-", "-");
            continue;
        }
        PrintRow(RenderPathName(path), path == RenderPath::kPlain ? plain : TimePath(path, frames), plain);
    }
    const RenderPath best = BestRenderPath();
    std::printf("best path: %s, %d frames per run, best of %d runs\n", RenderPathName(best), frames, kRepeats);
    FreeFrameBuffers();
    return 0;
}
