// Steps of the frame render shared by the plain and the fast paths: the
// shade of one grid sample, and the averaging and palette passes.
#pragma once

#include <cstdint>

#include "render/frame.h"
#include "render/shading.h"

// Shade 0..254 of grid point (i, j) whose turbulence divided by 8 is m:
// |a * b| >> 8 with a and b two sine stripes shifted by m.
inline uint8_t ShadeOf(int32_t m, int32_t i, int32_t j) {
    const int32_t a = SineTable[(7 * j + m - 120) & (kSineTableSize - 1)];
    const int32_t b = SineTable[(4 * i + m - 80) & (kSineTableSize - 1)];
    const int32_t p = a * b;
    return static_cast<uint8_t>((p < 0 ? -p : p) >> 8);
}

// Given the grid samples (even rows, even columns) of bytes, fills the odd
// columns of the even rows, then the odd rows, by truncating averages, and
// converts rows 0..H-1, columns 0..W-1 through Palette into pixels.
void FillAndConvert(uint8_t* bytes, uint32_t* pixels);
