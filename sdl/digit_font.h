// A 3 x 5 pixel font of the characters a frame-rate text needs, for the
// rate drawn in the corner of a window that has no title of its own.
#pragma once

#include <cstdint>

// Draws text ("59.98 fps": digits, '.', 'f', 'p', 's' and spaces; other
// characters show as blanks) in white on a black box at the top-left corner
// of a width x height 0x00RRGGBB image whose rows are pitch bytes apart, top
// row first. Each glyph takes 4 columns, the box 1 pixel more on every side;
// whatever falls outside the image is left out. An empty text draws nothing.
void DrawCornerText(uint32_t* pixels, int pitch, int width, int height, const char* text);
