// Run-time choice between the plain renderer and the vector renderers, and
// the one place that hands a frame to the chosen one.
#include "render/render_path.h"

#include <cstddef>

#include "render/band_kernel.h"
#include "render/base_grid.h"
#include "render/frame.h"

#if defined(NOISE_FAST_RENDER) && (defined(__i386__) || defined(__x86_64__))
#define NOISE_HAVE_VECTOR_PATHS 1
#include "render/path_entries.h"
#else
#define NOISE_HAVE_VECTOR_PATHS 0
#endif
#if defined(NOISE_FAST_RENDER) && defined(__wasm_simd128__)
#define NOISE_HAVE_SIMD128_PATH 1
#include "render/path_entries.h"
#else
#define NOISE_HAVE_SIMD128_PATH 0
#endif

namespace {

#if NOISE_HAVE_VECTOR_PATHS
// The CPU feature bits also reflect whether the OS saves the wider registers.
bool CpuRuns(RenderPath path) {
    __builtin_cpu_init();
    switch (path) {
        case RenderPath::kPlain:
            return true;
        case RenderPath::kSse2:
            return __builtin_cpu_supports("sse2");
        case RenderPath::kAvx2:
            return __builtin_cpu_supports("avx2");
        case RenderPath::kAvx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                   __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
                   __builtin_cpu_supports("avx512vbmi");
        case RenderPath::kSimd128:
            return false;
    }
    return false;
}
#endif

}  // namespace

bool RenderPathAvailable(RenderPath path) {
#if NOISE_HAVE_VECTOR_PATHS
    // The CPU does not change while the program runs: ask once per path.
    static_assert(static_cast<int>(RenderPath::kPlain) == 0 && static_cast<int>(RenderPath::kAvx512) == 3);
    static const bool runs[] = {CpuRuns(RenderPath::kPlain), CpuRuns(RenderPath::kSse2),
                                CpuRuns(RenderPath::kAvx2), CpuRuns(RenderPath::kAvx512)};
    const auto index = static_cast<size_t>(path);
    return index < sizeof runs / sizeof runs[0] && runs[index];
#elif NOISE_HAVE_SIMD128_PATH
    return path == RenderPath::kPlain || path == RenderPath::kSimd128;
#else
    return path == RenderPath::kPlain;
#endif
}

RenderPath BestRenderPath() {
    static const RenderPath best = [] {
        RenderPath chosen = RenderPath::kPlain;
        for (RenderPath p : kAllRenderPaths) {  // listed from slowest to fastest
            if (RenderPathAvailable(p)) chosen = p;
        }
        return chosen;
    }();
    return best;
}

const char* RenderPathName(RenderPath path) {
    switch (path) {
        case RenderPath::kPlain:
            return "plain";
        case RenderPath::kSse2:
            return "sse2";
        case RenderPath::kAvx2:
            return "avx2";
        case RenderPath::kAvx512:
            return "avx512";
        case RenderPath::kSimd128:
            return "simd128";
    }
    return "unknown";
}

void RenderFrameWith(RenderPath path, uint32_t t, uint8_t* byte_image, uint32_t* pixels) {
    if (!RenderPathAvailable(path)) path = RenderPath::kPlain;
#if NOISE_HAVE_VECTOR_PATHS || NOISE_HAVE_SIMD128_PATH
    static const bool grid_built = (BuildBaseGrid(), true);  // once, before any thread needs it
    (void)grid_built;
#endif
    switch (path) {
#if NOISE_HAVE_VECTOR_PATHS
        case RenderPath::kSse2:
            RenderFrameSse2(t, byte_image, pixels);
            return;
        case RenderPath::kAvx2:
            RenderFrameAvx2(t, byte_image, pixels);
            return;
        case RenderPath::kAvx512:
            RenderFrameAvx512(t, byte_image, pixels);
            return;
#endif
#if NOISE_HAVE_SIMD128_PATH
        case RenderPath::kSimd128:
            RenderFrameSimd128(t, byte_image, pixels);
            return;
#endif
        default:
            RenderFramePlain(t, byte_image, pixels);
            return;
    }
}

const BandKernel& RenderPathBandKernel(RenderPath path) {
    if (!RenderPathAvailable(path)) path = RenderPath::kPlain;
    switch (path) {
#if NOISE_HAVE_VECTOR_PATHS
        case RenderPath::kSse2:
            return kBandKernelSse2;
        case RenderPath::kAvx2:
            return kBandKernelAvx2;
        case RenderPath::kAvx512:
            return kBandKernelAvx512;
#endif
#if NOISE_HAVE_SIMD128_PATH
        case RenderPath::kSimd128:
            return kBandKernelSimd128;
#endif
        default:
            return kBandKernelPlain;
    }
}

void RenderFrameInto(uint32_t t, uint8_t* byte_image, uint32_t* pixels) {
    RenderFrameWith(BestRenderPath(), t, byte_image, pixels);
}

void RenderFrameAt(uint32_t t) { RenderFrameInto(t, ByteImage, PixelBuffer); }
