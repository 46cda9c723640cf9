// The 3 x 5 font: each glyph's rows are three bits each, the top row in the
// highest bits.
#include "sdl/digit_font.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

struct Glyph {
    char c;
    uint16_t rows;
};
constexpr Glyph kGlyphs[] = {
    {'0', 0b111'101'101'101'111}, {'1', 0b010'110'010'010'111}, {'2', 0b111'001'111'100'111},
    {'3', 0b111'001'111'001'111}, {'4', 0b101'101'111'001'001}, {'5', 0b111'100'111'001'111},
    {'6', 0b111'100'111'101'111}, {'7', 0b111'001'001'001'001}, {'8', 0b111'101'111'101'111},
    {'9', 0b111'101'111'001'111}, {'.', 0b000'000'000'000'010}, {'f', 0b011'010'111'010'010},
    {'p', 0b111'101'111'100'100}, {'s', 0b011'100'010'001'110}, {' ', 0},
};
constexpr int kGlyphWidth = 3;
constexpr int kGlyphHeight = 5;
constexpr int kAdvance = kGlyphWidth + 1;     // one blank column between glyphs
constexpr int kBoxHeight = kGlyphHeight + 2;  // a blank row above and below
constexpr uint32_t kTextColour = 0xFFFFFF;
constexpr uint32_t kTextBackground = 0x000000;

uint16_t RowsOf(char c) {
    for (const Glyph& g : kGlyphs) {
        if (g.c == c) return g.rows;
    }
    return 0;
}

}  // namespace

void DrawCornerText(uint32_t* pixels, int pitch, int width, int height, const char* text) {
    const size_t length = std::strlen(text);
    if (length == 0) return;
    const auto row_of = [&](int y) {
        return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(pixels) +
                                           static_cast<ptrdiff_t>(y) * pitch);
    };
    const int box_width = static_cast<int>(std::min<size_t>(length * kAdvance + 1, static_cast<size_t>(width)));
    const int box_height = std::min(kBoxHeight, height);
    for (int y = 0; y < box_height; ++y) std::fill_n(row_of(y), box_width, kTextBackground);
    for (size_t k = 0; k < length; ++k) {
        const uint16_t rows = RowsOf(text[k]);
        for (int y = 0; y < kGlyphHeight && y + 1 < box_height; ++y) {
            uint32_t* row = row_of(y + 1);
            for (int x = 0; x < kGlyphWidth; ++x) {
                const size_t column = 1 + k * kAdvance + static_cast<size_t>(x);
                const int bit = (kGlyphHeight - y) * kGlyphWidth - 1 - x;  // the top row's left pixel is bit 14
                if (column < static_cast<size_t>(width) && (rows >> bit & 1u) != 0) row[column] = kTextColour;
            }
        }
    }
}
