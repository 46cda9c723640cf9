// A 64-bit FNV-1a digest of a whole frame, and the pinned digests of two
// frames. The digest reads pixels as little-endian bytes, so it is the same
// on every target.
#pragma once

#include <cstdint>

#include "render/frame.h"

inline uint64_t FrameDigest(const uint32_t* pixels) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (int k = 0; k < kPixelCount; ++k) {
        for (int b = 0; b < 4; ++b) {
            h ^= (pixels[k] >> (8 * b)) & 0xFF;
            h *= 0x100000001b3ull;
        }
    }
    return h;
}

// Seed 1, time 999.
constexpr uint64_t kDigestSeed1Time999 = 12125770490844716772ull;
// Seed 0x80000000, time 0x55555555 (the largest time the clock reaches).
constexpr uint64_t kDigestSeedMinTimeMax = 11803000474295376153ull;
