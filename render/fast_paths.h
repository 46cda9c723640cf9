// Entry points of the vector frame renderers, one per instruction set, for
// the path dispatcher. Each needs its instruction set at run time; none is
// built on other processors or with NOISE_RENDER_PATH=plain. Each writes the
// frame for time value t into byte_image (kByteRows * kByteStride bytes) and
// pixels (kPixelCount), with its scratch space on the caller's stack.
#pragma once

#include <cstdint>

void RenderFrameSse2(uint32_t t, uint8_t* byte_image, uint32_t* pixels);
void RenderFrameAvx2(uint32_t t, uint8_t* byte_image, uint32_t* pixels);
void RenderFrameAvx512(uint32_t t, uint8_t* byte_image, uint32_t* pixels);
