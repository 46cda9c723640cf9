// Choice of the whole-frame render path, the plain reference renderer or one
// of the vector renderers for x86 (SSE2, AVX2, AVX-512) or WebAssembly
// (SIMD128), and the entry points
// that render through it. Every path writes the same byte image and pixels,
// bit for bit, for every seed and time.
#pragma once

#include <cstdint>

#include "render/frame.h"

enum class RenderPath { kPlain, kSse2, kAvx2, kAvx512, kSimd128 };

// Listed from slowest to fastest within each processor family.
constexpr RenderPath kAllRenderPaths[] = {RenderPath::kPlain, RenderPath::kSse2, RenderPath::kAvx2,
                                          RenderPath::kAvx512, RenderPath::kSimd128};

// True when this build contains the path and this CPU (and OS) can run it.
// kPlain is always available; the vector paths only in x86 builds made with
// NOISE_RENDER_PATH=auto. kAvx2 needs AVX2; kAvx512 needs AVX-512 F, BW, DQ,
// VL and VBMI. kSimd128 is there in WebAssembly builds made with SIMD128,
// whose module only loads where the engine has it.
bool RenderPathAvailable(RenderPath path);

// The fastest available path; decided once and remembered.
RenderPath BestRenderPath();

// Short lower-case name: "plain", "sse2", "avx2", "avx512", "simd128".
const char* RenderPathName(RenderPath path);

// The band stages (render/band_kernel.h) of the given path, for frames of
// any size; an unavailable path gives the plain ones.
struct BandKernel;
const BandKernel& RenderPathBandKernel(RenderPath path);

// Renders the frame for time value t through the given path into byte_image
// and pixels, sized as for RenderFrameInto. An unavailable path falls back to
// the plain one.
void RenderFrameWith(RenderPath path, uint32_t t, uint8_t* byte_image, uint32_t* pixels);

// Renders the frame for time value t through the fastest path into the
// caller's buffers: byte_image of kByteRows * kByteStride bytes (laid out as
// ByteImage) and pixels of kPixelCount pixels (laid out as PixelBuffer).
// Every pixel is rewritten, and every byte a pixel is made from (column W of
// the odd rows is neither written nor read); the result equals RenderFrameAt's
// bit for bit. It reads only the noise and shading tables, which must be built
// and left unchanged meanwhile, and keeps its scratch space on the caller's
// stack (about 28 KB): several threads may call it at once, each with its
// own buffers.
void RenderFrameInto(uint32_t t, uint8_t* byte_image, uint32_t* pixels);

// Renders the frame for time value t into ByteImage and PixelBuffer, through
// the fastest path this CPU runs. Every pixel is rewritten.
void RenderFrameAt(uint32_t t);
