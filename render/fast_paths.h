// Entry points of the vector frame renderers, one per instruction set, for
// the path dispatcher. Each needs its instruction set at run time; none is
// built on other processors or with NOISE_RENDER_PATH=plain.
#pragma once

#include <cstdint>

void RenderFrameSse2(uint32_t t);
void RenderFrameAvx2(uint32_t t);
void RenderFrameAvx512(uint32_t t);
