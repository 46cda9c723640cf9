// Sine and palette tables. No entry of either lies near a half-integer, so
// any round-to-nearest rule and any precision of at least 64 bits agree.
#include "render/shading.h"

#include <cmath>

int32_t SineTable[kSineTableSize];
uint32_t Palette[kPaletteSize];

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kFullScale = 255.0;
}  // namespace

void BuildPalette() {
    for (uint32_t i = 0; i < kPaletteSize; ++i) {
        const auto blue = static_cast<uint32_t>(std::nearbyint(kFullScale * std::sqrt(i / kFullScale)));
        Palette[i] = (i << 16) | (i << 8) | blue;
    }
}

void BuildSineTable() {
    for (int k = 0; k < kSineTableSize; ++k) {
        const double angle = static_cast<double>(k) / kSineTableSize * 2.0 * kPi;
        SineTable[k] = static_cast<int32_t>(std::nearbyint(kFullScale * std::sin(angle)));
    }
}
