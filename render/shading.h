// The two tables that turn noise into colour: a sine table for the marble
// stripes and a grey palette with a blue tint in the darker shades.
#pragma once

#include <cstdint>

constexpr int kSineTableSize = 1024;  // one full turn; index with & 1023
constexpr int kPaletteSize = 256;

// Entry k = round(255 * sin(2 pi k / 1024)), in -255..255.
extern int32_t SineTable[kSineTableSize];

// Entry i is the 32-bit pixel 0x00RRGGBB with red = green = i and
// blue = round(255 * sqrt(i / 255)); in memory the bytes are blue, green, red, 0.
extern uint32_t Palette[kPaletteSize];

void BuildPalette();
void BuildSineTable();
