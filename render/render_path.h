// Choice of the whole-frame render path: the plain reference renderer or one
// of the vector renderers for x86 (SSE2, AVX2, AVX-512). Every path writes
// the same ByteImage and PixelBuffer, bit for bit, for every seed and time.
#pragma once

#include <cstdint>

enum class RenderPath { Plain, Sse2, Avx2, Avx512 };

constexpr RenderPath kAllRenderPaths[] = {RenderPath::Plain, RenderPath::Sse2, RenderPath::Avx2,
                                          RenderPath::Avx512};

// True when this build contains the path and this CPU (and OS) can run it.
// Plain is always available; the vector paths only in x86 builds made with
// NOISE_RENDER_PATH=auto. Avx2 needs AVX2; Avx512 needs AVX-512 F, BW, DQ, VL
// and VBMI.
bool RenderPathAvailable(RenderPath path);

// The fastest available path; decided once and remembered.
RenderPath BestRenderPath();

// Short lower-case name: "plain", "sse2", "avx2", "avx512".
const char* RenderPathName(RenderPath path);

// Renders the frame for time value t through the given path, which must be
// available; an unavailable path falls back to the plain one.
void RenderFrameWith(RenderPath path, uint32_t t);
