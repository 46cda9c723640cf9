// Times frames through every render path this build and CPU can run, with a
// steady clock, on one thread:
//  1. whole 320x200 frames (RenderFrameWith): microseconds per frame, frames
//     per second and the speed-up over the plain path;
//  2. frames of any size (RenderFrameRows) at scales 1, 2, 4, 6 and 12 of the
//     base frame: nanoseconds per grid sample (grid_cols * grid_rows of the
//     shape) per path, beside a plain memory write of as many pixel bytes
//     (memset of the frame), each the fastest frame of 3 runs (the one least
//     disturbed by other work on the machine); first the whole-frame entry
//     point of 1. timed the same way, today's base-frame cost per sample;
//  3. where the time of 2. goes, per vector path: the band's stages timed
//     apart (samples; fills along rows; odd rows, palette and pixel writes)
//     against the whole, in ns per sample (where the build has the stage
//     flags, NOISE_FRAME_STAGES);
// then names the path the program picks. Builds for every target, the 32-bit
// Windows one included (run under Wine).
//   frame_timing [FRAMES [MS]]   (default 400 whole frames per path, at least 1;
//                                 MS, default 100: milliseconds per timed run in 2. and 3.)
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "noise/noise.h"
#include "render/frame.h"
#include "render/frame_rows.h"
#include "render/frame_shape.h"
#include "render/render_path.h"
#include "render/tables.h"

namespace {

constexpr int kDefaultFrames = 400;
constexpr int kMaxFrames = 1000000;
constexpr int kDefaultRunMs = 100;
constexpr int kMaxRunMs = 60000;
constexpr int kRepeats = 3;  // best of three runs per path
constexpr int32_t kSeed = 12345;
constexpr uint32_t kTimeStep = 37;  // successive frames at different times, as in the program
constexpr int kScales[] = {1, 2, 4, 6, 12};
constexpr int kGridSamples = (W / 2 + 1) * (H / 2 + 1);  // of the base frame: 16,261
#if !defined(NOISE_FRAME_STAGES)
constexpr unsigned kAllStages = 0;  // a build without stage flags runs every stage
#endif

using Clock = std::chrono::steady_clock;

// Microseconds per frame over `frames` frames, best of kRepeats.
double TimePath(RenderPath path, int frames) {
    double best = 0;
    for (int rep = 0; rep < kRepeats; ++rep) {
        const auto start = Clock::now();
        for (int f = 0; f < frames; ++f)
            RenderFrameWith(path, static_cast<uint32_t>(f) * kTimeStep, ByteImage, PixelBuffer);
        const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
        const double us = elapsed.count() / frames;
        if (rep == 0 || us < best) best = us;
    }
    return best;
}

void PrintRow(const char* name, double us, double plain) {
    std::printf("%-8s %12.1f %12.0f %10.1f\n", name, us, us > 0 ? 1e6 / us : 0.0, us > 0 ? plain / us : 0.0);
}

// Nanoseconds of the fastest of the calls of work(frame index) made in
// kRepeats runs of at least run_ms milliseconds (and at least 2 calls) each,
// one call first to warm up. The fastest call is the one least disturbed by
// other work on the machine.
template <class Work>
double TimeCalls(int run_ms, Work work) {
    work(0);
    double best = 0;
    int frame = 1;
    for (int rep = 0; rep < kRepeats; ++rep) {
        const auto until = Clock::now() + std::chrono::milliseconds(run_ms);
        for (int calls = 0;; ++calls) {
            const auto start = Clock::now();
            if (start >= until && calls >= 2) break;
            work(frame++);
            const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
            if (best == 0 || ns < best) best = ns;
        }
    }
    return best;
}

struct Sized {
    int scale;
    FrameShape shape;
    double samples;
    std::vector<uint32_t> pixels;
};

// Streaming stores as the renderer chooses them (by the frame's size), always, or never.
enum class Streaming { kBySize, kAlways, kNever };

// ns per sample of whole frames of s through path, the stages given.
double TimeSized(Sized& s, RenderPath path, int run_ms, unsigned stages, Streaming streaming = Streaming::kBySize) {
    FrameScratch scratch;
#if defined(NOISE_FRAME_STAGES)
    if (streaming != Streaming::kBySize) scratch.stream_from = streaming == Streaming::kAlways ? 0 : INT64_MAX;
    RenderFrameRows(path, s.shape, 0, &scratch, s.pixels.data(), 0, s.shape.height);  // fills every buffer once
    scratch.stages = stages;
#else
    (void)stages;
    (void)streaming;
#endif
    const double ns = TimeCalls(run_ms, [&](int f) {
        RenderFrameRows(path, s.shape, static_cast<uint32_t>(f) * kTimeStep, &scratch, s.pixels.data(), 0,
                        s.shape.height);
    });
    return ns / s.samples;
}

double TimeMemoryWrite(Sized& s, int run_ms) {
    const size_t bytes = s.pixels.size() * sizeof(uint32_t);
    const double ns = TimeCalls(run_ms, [&](int f) {
        std::memset(s.pixels.data(), f & 0xFF, bytes);
        __asm__ __volatile__("" : : "r"(s.pixels.data()) : "memory");  // the writes are not dropped
    });
    return ns / s.samples;
}

bool ParseCount(const char* text, int max, int* out) {
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || n < 1 || n > max) return false;
    *out = static_cast<int>(n);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int frames = kDefaultFrames;
    int run_ms = kDefaultRunMs;
    if (argc > 3) {
        std::fprintf(stderr, "frame_timing: too many arguments (usage: frame_timing [FRAMES [MS]])\n");
        return 2;
    }
    if (argc >= 2 && !ParseCount(argv[1], kMaxFrames, &frames)) {
        std::fprintf(stderr, "frame_timing: frame count must be a whole number from 1 to %d, not '%s'\n", kMaxFrames,
                     argv[1]);
        return 2;
    }
    if (argc == 3 && !ParseCount(argv[2], kMaxRunMs, &run_ms)) {
        std::fprintf(stderr, "frame_timing: milliseconds per run must be a whole number from 1 to %d, not '%s'\n",
                     kMaxRunMs, argv[2]);
        return 2;
    }
    if (!AllocateFrameBuffers()) {
        std::fprintf(stderr, "frame_timing: out of memory for the frame buffers\n");
        return 1;
    }
    BuildTables(kSeed);

    std::printf("== whole %dx%d frames (RenderFrameWith)\n", W, H);
    std::printf("%-8s %12s %12s %10s\n", "path", "us/frame", "frames/s", "x plain");
    const double plain = TimePath(RenderPath::kPlain, frames);
    for (RenderPath path : kAllRenderPaths) {
        if (!RenderPathAvailable(path)) {
            std::printf("%-8s %12s %12s %10s\n", RenderPathName(path), "-", "-", "-");
            continue;
        }
        PrintRow(RenderPathName(path), path == RenderPath::kPlain ? plain : TimePath(path, frames), plain);
    }

    std::vector<Sized> sizes;
    for (int scale : kScales) {
        Sized s;
        s.scale = scale;
        if (!MakeFrameShape(kBaseWidth * scale, kBaseHeight * scale, &s.shape)) return 1;
        s.samples = static_cast<double>(s.shape.grid_cols) * s.shape.grid_rows;
        s.pixels.assign(static_cast<size_t>(s.shape.width) * s.shape.height, 0);
        sizes.push_back(std::move(s));
    }

    std::printf("== frames of any size (RenderFrameRows, one thread): ns per grid sample, fastest frame of %d runs of %d ms\n",
                kRepeats, run_ms);
    std::printf("%-5s %-9s %9s", "scale", "size", "samples");
    for (RenderPath path : kAllRenderPaths) std::printf(" %8s", RenderPathName(path));
    std::printf(" %8s\n", "memwrite");
    // The whole-frame entry point timed the same way: today's base-frame cost per sample.
    std::printf("%-5s %-9s %9d", "base", "320x200", kGridSamples);
    for (RenderPath path : kAllRenderPaths) {
        if (!RenderPathAvailable(path)) {
            std::printf(" %8s", "-");
            continue;
        }
        const double ns = TimeCalls(run_ms, [&](int f) {
            RenderFrameWith(path, static_cast<uint32_t>(f) * kTimeStep, ByteImage, PixelBuffer);
        });
        std::printf(" %8.2f", ns / kGridSamples);
        std::fflush(stdout);
    }
    std::printf(" %8s   (RenderFrameWith, ByteImage too)\n", "");
    for (Sized& s : sizes) {
        char size[32];
        std::snprintf(size, sizeof size, "%dx%d", s.shape.width, s.shape.height);
        std::printf("%-5d %-9s %9.0f", s.scale, size, s.samples);
        std::fflush(stdout);
        for (RenderPath path : kAllRenderPaths) {
            if (!RenderPathAvailable(path)) {
                std::printf(" %8s", "-");
                continue;
            }
            std::printf(" %8.2f", TimeSized(s, path, run_ms, kAllStages));
            std::fflush(stdout);
        }
        std::printf(" %8.3f\n", TimeMemoryWrite(s, run_ms));
    }

#if defined(NOISE_FRAME_STAGES)
    std::printf("== where the time goes (stages timed apart): ns per grid sample\n");
    std::printf("%-8s %-5s %8s %8s %8s %8s %8s %8s\n", "path", "scale", "whole", "samples", "fills", "output",
                "rest", "memwrite");
    for (RenderPath path : kAllRenderPaths) {
        if (path == RenderPath::kPlain || !RenderPathAvailable(path)) continue;
        for (Sized& s : sizes) {
            const double whole = TimeSized(s, path, run_ms, kAllStages);
            const double samples = TimeSized(s, path, run_ms, kStageSamples);
            const double fills = TimeSized(s, path, run_ms, kStageFills);
            const double output = TimeSized(s, path, run_ms, kStageOutput);
            std::printf("%-8s %-5d %8.2f %8.2f %8.2f %8.2f %8.2f %8.3f\n", RenderPathName(path), s.scale, whole,
                        samples, fills, output, whole - samples - fills - output, TimeMemoryWrite(s, run_ms));
            std::fflush(stdout);
        }
    }

    std::printf("== pixels written by streaming stores or plain ones (RenderFrameRows from %lld pixels on): ns per grid sample\n",
                static_cast<long long>(kStreamFromPixels));
    std::printf("%-8s %-5s %8s %8s %8s\n", "path", "scale", "plain", "stream", "memwrite");
    for (RenderPath path : kAllRenderPaths) {
        if (path == RenderPath::kPlain || !RenderPathAvailable(path)) continue;
        for (Sized& s : sizes) {
            if (s.scale < 4) continue;
            std::printf("%-8s %-5d %8.2f %8.2f %8.3f\n", RenderPathName(path), s.scale,
                        TimeSized(s, path, run_ms, kAllStages, Streaming::kNever),
                        TimeSized(s, path, run_ms, kAllStages, Streaming::kAlways), TimeMemoryWrite(s, run_ms));
            std::fflush(stdout);
        }
    }
#endif

    const RenderPath best = BestRenderPath();
    std::printf("best path: %s, %d whole frames per run, best of %d runs\n", RenderPathName(best), frames, kRepeats);
    FreeFrameBuffers();
    return 0;
}
