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

// Index 0..255 whose sine value has the size of SineTable[k]'s, by the
// table's symmetries |sin(x + pi)| = |sin x| = |sin(pi - x)| (entries 255 and
// 256 both being 255): min(k', 512 - k', 255) with k' = k mod 512. Whether
// the built table keeps them exactly is checked before relying on it.
static constexpr int32_t SineFold(int32_t k) {
    const int32_t half = k & (kSineTableSize / 2 - 1);
    const int32_t quarter = half < kSineTableSize / 2 - half ? half : kSineTableSize / 2 - half;
    return quarter < 255 ? quarter : 255;
}

// |SineTable[k]| computed instead of looked up, for paths whose gathers are
// slow: 255 |sin(2 pi k / 1024)| is 255 cos(pi u / 512) with u = (k mod 512)
// - 256, an even function that ((c3 u^2 + c2) u^2 + c1) u^2 + c0 follows
// within 0.005, and at every entry closer than that entry is to a half (at
// the tightest, 0.0001 against 0.0016), so the rounded polynomial is the
// table. Evaluated in single precision floats in this order (u^2 is exact),
// each product and sum rounded, the result rounded to nearest (the default
// rounding mode, which nothing here changes), as the vector code does it;
// whether it gives the built table exactly is checked before relying on it.
constexpr float kStripeSizeCoefficients[4] = {254.998795f, -0.00479965471f, 1.5004801e-08f, -1.74015448e-14f};

static inline int32_t StripeSizeByPolynomial(int32_t k) {
    const float u = static_cast<float>(k & (kSineTableSize / 2 - 1)) - 256.0f;
    const float u2 = u * u;
    const float* c = kStripeSizeCoefficients;
    const float p = ((c[3] * u2 + c[2]) * u2 + c[1]) * u2 + c[0];
    return static_cast<int32_t>(__builtin_nearbyintf(p));
}

// Palette blue computed instead of looked up: round(sqrt(255 i)) in single
// precision (a correctly rounded square root of an exact product, rounded to
// nearest) is Palette[i]'s blue for every i; checked before relying on it.
static inline uint32_t PaletteBlueByRoot(uint32_t i) {
    return static_cast<uint32_t>(__builtin_nearbyintf(__builtin_sqrtf(static_cast<float>(i) * 255.0f)));
}

// Shade 0..254 of a grid sample whose turbulence divided by 8 is m, with
// column stripe base cs (4 i at scale 1) and row stripe base rs (7 j):
// |a * b| >> 8 of the sine stripes a = SineTable[rs + m - 120] and
// b = SineTable[cs + m - 80], indices wrapped to the table. Internal linkage,
// as noise.h's FadeOffset, for the per-instruction-set renderers.
static inline uint8_t StripeShade(int32_t m, int32_t cs, int32_t rs) {
    const int32_t a = SineTable[(rs + m - 120) & (kSineTableSize - 1)];
    const int32_t b = SineTable[(cs + m - 80) & (kSineTableSize - 1)];
    const int32_t p = a * b;  // |p| <= 65,025
    return static_cast<uint8_t>((p < 0 ? -p : p) >> 8);
}
