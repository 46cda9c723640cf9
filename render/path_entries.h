// Entry points of the vector frame renderers, one per instruction set, for
// the path dispatcher. Each needs its instruction set at run time; the x86
// ones are built only for x86, the SIMD128 one only for WebAssembly with
// SIMD, and none with NOISE_RENDER_PATH=plain. Each writes the
// frame for time value t into byte_image (kByteRows * kByteStride bytes) and
// pixels (kPixelCount), with its scratch space on the caller's stack.
#pragma once

#include <cstdint>

#include "render/band_kernel.h"

void RenderFrameSse2(uint32_t t, uint8_t* byte_image, uint32_t* pixels);
void RenderFrameAvx2(uint32_t t, uint8_t* byte_image, uint32_t* pixels);
void RenderFrameAvx512(uint32_t t, uint8_t* byte_image, uint32_t* pixels);
void RenderFrameSimd128(uint32_t t, uint8_t* byte_image, uint32_t* pixels);

// The band stages of frames of any size, per instruction set, under the same
// conditions (kBandKernelPlain, in render/band_kernel.h, is always there).
extern const BandKernel kBandKernelSse2;
extern const BandKernel kBandKernelAvx2;
extern const BandKernel kBandKernelAvx512;
extern const BandKernel kBandKernelSimd128;
