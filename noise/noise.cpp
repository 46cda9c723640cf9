// Random source, noise tables and the fixed-point lattice noise.
#include "noise/noise.h"

#include <cmath>

#include "platform/clock.h"

int32_t PermTable[kTableEntries];
Gradient GradTable[kTableEntries];
uint32_t RandomSeed;

namespace {

constexpr uint32_t kRandomMultiplier = 134775813;  // 0x08088405
constexpr double kTwoTo32 = 4294967296.0;
constexpr double kMinGradientLength = 0.00001;  // below this only the zero vector remains

// One component in [-1, 1 - 1/256] in steps of 1/256: the top nine bits of
// the next seed, re-centred.
double RandomComponent() {
    const auto steps = static_cast<int32_t>(RandomUnit() * 2 * TableSize);
    return static_cast<double>(steps - TableSize) / TableSize;
}

// Per-axis lattice decomposition of one coordinate.
struct Axis {
    int32_t b0, b1;  // lower and upper cell index, 0..255 (255 wraps to 0)
    int32_t r0, r1;  // offsets from the lower (0..1023) and upper (-1024..-1) corner
    int32_t s;       // cubic fade 3t^2 - 2t^3 in 1/1024 units, 0..1023
};

Axis Decompose(FixedCoord v) {
    Axis a;
    a.b0 = (v >> 10) & 255;  // arithmetic shift: negative values take the cell below
    a.b1 = (a.b0 + 1) & 255;
    a.r0 = v & 1023;
    a.r1 = a.r0 - kFixedOne;
    a.s = FadeOffset(a.r0);
    return a;
}

// Gradient k dotted with the offset (a, b, c): 1/2^20 units, |result| < 1,816,200.
int64_t Dot(int32_t k, int32_t a, int32_t b, int32_t c) {
    const Gradient& g = GradTable[k];
    return int64_t{g.x} * a + int64_t{g.y} * b + int64_t{g.z} * c;
}

// u * (1024 - s) + v * s, unshifted. The difference times s may exceed 32
// bits, so it is formed in 64 bits; every finished blend fits in 32.
int64_t Blend(int64_t u, int64_t v, int32_t s) { return u * kFixedOne + (v - u) * s; }

}  // namespace

double RandomUnit() {
    RandomSeed = RandomSeed * kRandomMultiplier + 1u;  // wraps mod 2^32 by definition
    return RandomSeed / kTwoTo32;
}

void RandomizeFromClock() {
    const UtcTimeOfDay t = UtcNow();
    RandomSeed = static_cast<uint32_t>(((t.hour * 60 + t.minute) * 60 + t.second) * 1000 + t.millisecond);
}

void InitNoise(int32_t seed) {
    if (seed != 0) {
        RandomSeed = static_cast<uint32_t>(seed);
    } else {
        RandomizeFromClock();
    }

    for (int i = 0; i < TableSize; ++i) {
        PermTable[i] = i;
        double x = RandomComponent();
        double y = RandomComponent();
        double z = RandomComponent();
        const double len = std::sqrt(x * x + y * y + z * z);
        if (len > kMinGradientLength) {
            x /= len;
            y /= len;
            z /= len;
        }
        GradTable[i] = {static_cast<int32_t>(x * kFixedOne), static_cast<int32_t>(y * kFixedOne),
                        static_cast<int32_t>(z * kFixedOne)};
    }

    // A forward pass where each position swaps with any position, itself
    // included. The draw order fixes the tables for a seed.
    for (int i = 0; i < TableSize; ++i) {
        const auto j = static_cast<int32_t>(RandomUnit() * TableSize);
        const int32_t held = PermTable[i];
        PermTable[i] = PermTable[j];
        PermTable[j] = held;
    }

    for (int i = 0; i < TableSize + 2; ++i) {
        PermTable[TableSize + i] = PermTable[i];
        GradTable[TableSize + i] = GradTable[i];
    }
}

int32_t Noise3(FixedCoord x, FixedCoord y, FixedCoord z) {
    const Axis ax = Decompose(x);
    const Axis ay = Decompose(y);
    const Axis az = Decompose(z);

    const int32_t hx0 = PermTable[ax.b0];
    const int32_t hx1 = PermTable[ax.b1];
    const int32_t b00 = PermTable[hx0 + ay.b0];
    const int32_t b10 = PermTable[hx1 + ay.b0];
    const int32_t b01 = PermTable[hx0 + ay.b1];
    const int32_t b11 = PermTable[hx1 + ay.b1];

    // Blend along x, back to 1/1024 units.
    auto lerp_x = [&](int64_t u, int64_t v) { return Blend(u, v, ax.s) >> 20; };
    // One z layer: x blends on both y rows, then the y blend left in 1/2^20 units.
    auto layer = [&](int32_t bz, int32_t rz) {
        const int64_t a = lerp_x(Dot(b00 + bz, ax.r0, ay.r0, rz), Dot(b10 + bz, ax.r1, ay.r0, rz));
        const int64_t b = lerp_x(Dot(b01 + bz, ax.r0, ay.r1, rz), Dot(b11 + bz, ax.r1, ay.r1, rz));
        return Blend(a, b, ay.s);
    };

    const int64_t c = layer(az.b0, az.r0);
    const int64_t d = layer(az.b1, az.r1);
    return static_cast<int32_t>(Blend(c, d, az.s) >> 20);
}

int32_t Turbulence(FixedCoord x, FixedCoord y, FixedCoord z, int32_t octaves) {
    constexpr int32_t kMaxOctaves = 32;  // the doubling divisor reaches 0 after this many
    if (octaves > kMaxOctaves) octaves = kMaxOctaves;

    int32_t sum = 0;
    uint32_t divisor = 1;
    // Coordinates double with 32-bit wrap-around; only their low 18 bits matter.
    uint32_t ux = static_cast<uint32_t>(x), uy = static_cast<uint32_t>(y), uz = static_cast<uint32_t>(z);
    for (int32_t k = 0; k < octaves; ++k) {
        sum += Noise3(static_cast<int32_t>(ux), static_cast<int32_t>(uy), static_cast<int32_t>(uz)) /
               static_cast<int32_t>(divisor);
        ux <<= 1;
        uy <<= 1;
        uz <<= 1;
        divisor <<= 1;
    }
    return sum < 0 ? -sum : sum;
}
