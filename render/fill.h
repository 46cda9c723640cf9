// The averaging and palette passes of the plain frame render; the palette
// pass is shared with the SSE2 path. No inline functions here: the vector
// renderers, each compiled for its own instruction set, include this header.
#pragma once

#include <cstdint>

#include "render/frame.h"

// Given the grid samples (even rows, even columns) of bytes, fills the odd
// columns of the even rows, then the odd rows, by truncating averages, and
// converts them as ConvertToPixels does.
void FillAndConvert(uint8_t* bytes, uint32_t* pixels);

// pixels[r * W + c] = Palette[bytes[r * kByteStride + c]] for rows 0..H-1
// and columns 0..W-1.
void ConvertToPixels(const uint8_t* bytes, uint32_t* pixels);
