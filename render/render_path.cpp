// Run-time choice between the plain renderer and the vector renderers, and
// the one place that hands a frame to the chosen one.
#include "render/render_path.h"

#include <cstddef>

#include "platform/clock.h"
#include "render/frame.h"

#if defined(NOISE_FAST_RENDER) && (defined(__i386__) || defined(__x86_64__))
#define NOISE_HAVE_VECTOR_PATHS 1
#include "render/fast_paths.h"
#else
#define NOISE_HAVE_VECTOR_PATHS 0
#endif

namespace {

#if NOISE_HAVE_VECTOR_PATHS
// The CPU feature bits also reflect whether the OS saves the wider registers.
bool CpuRuns(RenderPath path) {
    __builtin_cpu_init();
    switch (path) {
        case RenderPath::Plain:
            return true;
        case RenderPath::Sse2:
            return __builtin_cpu_supports("sse2");
        case RenderPath::Avx2:
            return __builtin_cpu_supports("avx2");
        case RenderPath::Avx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                   __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
                   __builtin_cpu_supports("avx512vbmi");
    }
    return false;
}
#endif

}  // namespace

bool RenderPathAvailable(RenderPath path) {
#if NOISE_HAVE_VECTOR_PATHS
    // The CPU does not change while the program runs: ask once per path.
    static_assert(static_cast<int>(RenderPath::Plain) == 0 && static_cast<int>(RenderPath::Avx512) == 3);
    static const bool runs[] = {CpuRuns(RenderPath::Plain), CpuRuns(RenderPath::Sse2),
                                CpuRuns(RenderPath::Avx2), CpuRuns(RenderPath::Avx512)};
    const auto index = static_cast<size_t>(path);
    return index < sizeof runs / sizeof runs[0] && runs[index];
#else
    return path == RenderPath::Plain;
#endif
}

RenderPath BestRenderPath() {
    static const RenderPath best = [] {
        RenderPath chosen = RenderPath::Plain;
        for (RenderPath p : kAllRenderPaths) {  // listed from slowest to fastest
            if (RenderPathAvailable(p)) chosen = p;
        }
        return chosen;
    }();
    return best;
}

const char* RenderPathName(RenderPath path) {
    switch (path) {
        case RenderPath::Plain:
            return "plain";
        case RenderPath::Sse2:
            return "sse2";
        case RenderPath::Avx2:
            return "avx2";
        case RenderPath::Avx512:
            return "avx512";
    }
    return "unknown";
}

void RenderFrameWith(RenderPath path, uint32_t t, uint8_t* byte_image, uint32_t* pixels) {
    if (!RenderPathAvailable(path)) path = RenderPath::Plain;
    switch (path) {
#if NOISE_HAVE_VECTOR_PATHS
        case RenderPath::Sse2:
            RenderFrameSse2(t, byte_image, pixels);
            return;
        case RenderPath::Avx2:
            RenderFrameAvx2(t, byte_image, pixels);
            return;
        case RenderPath::Avx512:
            RenderFrameAvx512(t, byte_image, pixels);
            return;
#endif
        default:
            RenderFramePlain(t, byte_image, pixels);
            return;
    }
}

void RenderFrameInto(uint32_t t, uint8_t* byte_image, uint32_t* pixels) {
    RenderFrameWith(BestRenderPath(), t, byte_image, pixels);
}

void RenderFrameAt(uint32_t t) { RenderFrameInto(t, ByteImage, PixelBuffer); }

void RenderFrame() { RenderFrameAt(FrameTime(ClockMs())); }
