// The base frame's sample grid decomposed per octave, once for every vector
// path of the whole-frame render: each x86 path's object would otherwise
// carry its own copy. Data only, with no inline functions, so the
// per-instruction-set files may include it.
#pragma once

#include <cstdint>

#include "render/frame.h"

constexpr int kGridColsPadded = (W / 2 + 1 + 3) / 4 * 4;  // 164: 161 sample columns in whole blocks of 4
constexpr int kGridRowsPadded = (H / 2 + 1 + 3) / 4 * 4;  // 104: 101 sample rows in whole blocks of up to 4

// Decomposition of the sample coordinates n * kGridStep of one axis, per
// octave: independent of the frame and of the tables. Offsets are placed in
// the 16-bit half of a lane that the gradient's matching component occupies
// (x in the low half, y in the high half), ready for a 16-bit multiply-add.
template <int N>
struct AxisTable {
    int32_t cell[kOctaves][N];    // lower corner's cell, 0..255
    uint32_t lower[kOctaves][N];  // offset from the lower corner, 0..1023, placed
    uint32_t upper[kOctaves][N];  // offset from the upper corner, -1024..-1, placed
    uint32_t fade[kOctaves][N];   // fade of the lower offset, 0..1023
};

// Sine-table index bases of the two stripes: 4 i - 80 per column, 7 j - 120 per row.
struct StripeBases {
    uint32_t column[kGridColsPadded];
    uint32_t row[kGridRowsPadded];
};

extern AxisTable<kGridColsPadded> kColumnAxis;  // x offsets in the low halves
extern AxisTable<kGridRowsPadded> kRowAxis;     // y offsets in the high halves
extern StripeBases kStripes;

// Fills the three tables (the same every time). RenderFrameWith calls it
// once, before its first vector render.
void BuildBaseGrid();
