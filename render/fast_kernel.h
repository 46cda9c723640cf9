// The vector whole-frame renderer, written once over a small set of lane
// operations and compiled by fast_sse2.cpp, fast_avx2.cpp and
// fast_avx512.cpp, each with its own instruction-set flags.
//
// Everything here has internal linkage (anonymous namespace) and only
// headers without inline functions are included: a function with external
// linkage compiled with AVX-512 flags could otherwise be merged by the linker
// into the code that runs on every CPU.
//
// Lanes cover a block of 4 grid columns by kLanes / 4 grid rows. A cell spans
// 32, 16, 8 and 4 grid steps in the four octaves, so 4 columns (or rows)
// starting at a multiple of 4 always share one lattice cell: the eight corner
// gradients of an octave are the same in every lane and are broadcast from
// per-frame tables instead of being gathered per sample.
//
// The arithmetic is the lattice noise's own, in wrapping 32-bit lanes: each
// finished blend (u << 10) + (v - u) * s fits in 32 bits, so wrapping
// multiplies and adds followed by an arithmetic shift give the exact value.
#pragma once

#include <cstdint>

#include "noise/noise.h"
#include "render/frame.h"
#include "render/shading.h"

#if !defined(__SSE2__)
#error "the vector renderer needs at least SSE2"
#endif
#include <emmintrin.h>

namespace {

constexpr int kGridCols = W / 2 + 1;                      // 161 sample columns
constexpr int kGridRows = H / 2 + 1;                      // 101 sample rows
constexpr int kBlockCols = 4;                             // grid columns per lane block
constexpr int kGridColsPadded = (kGridCols + 3) / 4 * 4;  // 164: whole blocks
constexpr int kGridRowsPadded = (kGridRows + 3) / 4 * 4;  // 104: whole blocks of up to 4 rows
constexpr int kGridStride = 176;  // bytes per sample-grid row: the padded row plus the fill's 16-byte reads
constexpr int kCellShift = 10;    // FixedCoord bits below the cell index
constexpr int32_t kCellMask = TableSize - 1;
constexpr int32_t kOffsetMask = kFixedOne - 1;
constexpr int kShadeShift = 8;         // |a * b| >> 8 turns two sine values into a shade
constexpr int kTurbulenceToIndex = 3;  // m = turbulence / 8 (turbulence is never negative)
static_assert(kOctaves == 4, "the vector renderer unrolls four octaves");
static_assert(kGridStride >= kGridColsPadded && kGridStride >= W / 2 + 16, "grid rows too short");

template <int K>
struct IntTag {
    static constexpr int value = K;
};

// Cubic fade 3t^2 - 2t^3 of an offset 0..1023, in 1/1024 units.
constexpr int32_t Fade(int32_t r0) { return ((3072 - 2 * r0) * r0 * r0) >> 20; }

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

template <int N>
constexpr AxisTable<N> MakeAxisTable(int placeShift) {
    AxisTable<N> a{};
    for (int k = 0; k < kOctaves; ++k) {
        for (int n = 0; n < N; ++n) {
            const int32_t v = (n * kGridStep) << k;  // below 2^16: no wrap
            const int32_t r0 = v & kOffsetMask;
            a.cell[k][n] = (v >> kCellShift) & kCellMask;
            a.lower[k][n] = (static_cast<uint32_t>(r0) & 0xFFFFu) << placeShift;
            a.upper[k][n] = (static_cast<uint32_t>(r0 - kFixedOne) & 0xFFFFu) << placeShift;
            a.fade[k][n] = static_cast<uint32_t>(Fade(r0));
        }
    }
    return a;
}

constexpr AxisTable<kGridColsPadded> kColumnAxis = MakeAxisTable<kGridColsPadded>(0);
constexpr AxisTable<kGridRowsPadded> kRowAxis = MakeAxisTable<kGridRowsPadded>(16);

// Sine-table index bases of the two stripes: 4 i - 80 per column, 7 j - 120 per row.
struct StripeBases {
    uint32_t column[kGridColsPadded];
    uint32_t row[kGridRowsPadded];
};
constexpr StripeBases MakeStripeBases() {
    StripeBases s{};
    for (int i = 0; i < kGridColsPadded; ++i) s.column[i] = static_cast<uint32_t>(4 * i - 80);
    for (int j = 0; j < kGridRowsPadded; ++j) s.row[j] = static_cast<uint32_t>(7 * j - 120);
    return s;
}
constexpr StripeBases kStripes = MakeStripeBases();

// Forced inlining keeps each octave's arithmetic in registers.
#define NOISE_FAST_INLINE inline __attribute__((always_inline))

// Corner data of one frame, looked up by a corner's hashed x-y value
// h = PermTable[PermTable[cx] + cy] (0..255).
struct FrameCorners {
    uint32_t gradXY[kTableEntries];          // GradTable[i]: x in the low, y in the high 16 bits
                                             // (components are at most 1024 in size)
    uint32_t termZ[kOctaves][2][TableSize];  // GradTable[h + cz].z times the z offset, per layer
    int32_t cellZ[kOctaves][2];              // lower and upper z cell per octave
};

// Fills the frame's corner data for time value t.
inline void PrepareFrame(FrameCorners& f, uint32_t t) {
    for (int i = 0; i < kTableEntries; ++i) {
        f.gradXY[i] =
            (static_cast<uint32_t>(GradTable[i].x) & 0xFFFFu) | (static_cast<uint32_t>(GradTable[i].y) << 16);
    }
    for (int k = 0; k < kOctaves; ++k) {
        const uint32_t z = t << k;  // doubling per octave wraps in 32 bits; only the low 18 bits matter
        const auto r0 = static_cast<int32_t>(z & kOffsetMask);
        const int32_t cell = static_cast<int32_t>(z >> kCellShift) & kCellMask;
        const int32_t cells[2] = {cell, (cell + 1) & kCellMask};
        const int32_t offsets[2] = {r0, r0 - kFixedOne};
        for (int l = 0; l < 2; ++l) {
            f.cellZ[k][l] = cells[l];
            for (int h = 0; h < TableSize; ++h) {
                f.termZ[k][l][h] =
                    static_cast<uint32_t>(GradTable[h + cells[l]].z * offsets[l]);  // |.| <= 2^20
            }
        }
    }
}

// The hashed x-y values of the four vertical edges of cell (cx, cy), [y][x].
struct CellHashes {
    int32_t h[2][2];
};

NOISE_FAST_INLINE CellHashes HashCell(int32_t cx, int32_t cy) {
    const int32_t hx0 = PermTable[cx], hx1 = PermTable[(cx + 1) & kCellMask];
    const int32_t cy1 = (cy + 1) & kCellMask;
    return {{{PermTable[hx0 + cy], PermTable[hx1 + cy]}, {PermTable[hx0 + cy1], PermTable[hx1 + cy1]}}};
}

// Per-lane offsets of one block at one octave.
template <class Isa>
struct BlockOffsets {
    typename Isa::V xy[2][2];  // [x corner][y corner]: x offset low, y offset high
    typename Isa::V fadeX, fadeY;
};

// Blend along x of the two corners on edge (y = Y, z = Z): 1/1024 units.
template <class Isa, int K, int Z, int Y>
NOISE_FAST_INLINE typename Isa::V AlongX(const FrameCorners& f, const CellHashes& c,
                                         const BlockOffsets<Isa>& o) {
    using V = typename Isa::V;
    const uint32_t* gradXY = f.gradXY + f.cellZ[K][Z];
    const uint32_t* termZ = f.termZ[K][Z];
    const int32_t h0 = c.h[Y][0], h1 = c.h[Y][1];
    // Dot products in 1/2^20 units: 16-bit products summed in 32 bits, plus the z term.
    const V u = Isa::Add(Isa::Madd16(Isa::Set1(gradXY[h0]), o.xy[0][Y]), Isa::Set1(termZ[h0]));
    const V v = Isa::Add(Isa::Madd16(Isa::Set1(gradXY[h1]), o.xy[1][Y]), Isa::Set1(termZ[h1]));
    return Isa::template Sra<20>(Isa::Add(Isa::template Sll<10>(u), Isa::Mul(Isa::Sub(v, u), o.fadeX)));
}

// One z layer: the two x blends blended along y, left in 1/2^20 units.
template <class Isa, int K, int Z>
NOISE_FAST_INLINE typename Isa::V Layer(const FrameCorners& f, const CellHashes& c,
                                        const BlockOffsets<Isa>& o) {
    const typename Isa::V a = AlongX<Isa, K, Z, 0>(f, c, o);
    const typename Isa::V b = AlongX<Isa, K, Z, 1>(f, c, o);
    return Isa::Add(Isa::template Sll<10>(a), Isa::Mul(Isa::Sub(b, a), o.fadeY));
}

// Noise3 of every lane at octave K, divided by 2^K truncating toward zero.
template <class Isa, int K>
NOISE_FAST_INLINE typename Isa::V OctaveTerm(const FrameCorners& f, const CellHashes& c,
                                             const BlockOffsets<Isa>& o, typename Isa::V fadeZ) {
    using V = typename Isa::V;
    const V lower = Layer<Isa, K, 0>(f, c, o);
    const V upper = Layer<Isa, K, 1>(f, c, o);
    const V n = Isa::template Sra<20>(
        Isa::Add(Isa::template Sll<10>(lower), Isa::Mul(Isa::Sub(upper, lower), fadeZ)));
    if constexpr (K == 0) {
        return n;
    } else {
        // Truncating division by 2^K: negative values get 2^K - 1 added before the shift.
        const V bias = Isa::template Srl<32 - K>(Isa::template Sra<31>(n));
        return Isa::template Sra<K>(Isa::Add(n, bias));
    }
}

template <class Isa>
NOISE_FAST_INLINE typename Isa::V Abs(typename Isa::V v) {
    const typename Isa::V sign = Isa::template Sra<31>(v);
    return Isa::Sub(Isa::Xor(v, sign), sign);
}

// Shades of all grid samples for time value t into grid (kGridRowsPadded rows
// of kGridStride bytes); the padding samples are computed and ignored.
template <class Isa>
void SampleGrid(uint32_t t, uint8_t* grid, FrameCorners& f) {
    using V = typename Isa::V;
    constexpr int kBlockRows = Isa::kLanes / kBlockCols;
    static_assert(kBlockRows >= 1 && 4 % kBlockRows == 0, "blocks must not straddle a cell");

    PrepareFrame(f, t);
    V fadeZ[kOctaves];
    for (int k = 0; k < kOctaves; ++k) {
        fadeZ[k] = Isa::Set1(static_cast<uint32_t>(Fade(static_cast<int32_t>((t << k) & kOffsetMask))));
    }

    const V indexMask = Isa::Set1(kSineTableSize - 1);
    const V byteMask = Isa::Set1(0xFFu);
    CellHashes hashes[kOctaves] = {};
    for (int j0 = 0; j0 < kGridRows; j0 += kBlockRows) {
        V rowLower[kOctaves], rowUpper[kOctaves], rowFade[kOctaves];
        int32_t rowCell[kOctaves], hashedCell[kOctaves];
        for (int k = 0; k < kOctaves; ++k) {
            rowLower[k] = Isa::Rows(&kRowAxis.lower[k][j0]);
            rowUpper[k] = Isa::Rows(&kRowAxis.upper[k][j0]);
            rowFade[k] = Isa::Rows(&kRowAxis.fade[k][j0]);
            rowCell[k] = kRowAxis.cell[k][j0];
            hashedCell[k] = -1;  // the y cell may have changed: hash again
        }
        const V rowStripe = Isa::Rows(&kStripes.row[j0]);

        for (int i0 = 0; i0 < kGridCols; i0 += kBlockCols) {
            V sum = Isa::Zero();
            auto octave = [&](auto kTag) __attribute__((always_inline)) {
                constexpr int k = decltype(kTag)::value;
                const int32_t cx = kColumnAxis.cell[k][i0];
                if (cx != hashedCell[k]) {
                    hashes[k] = HashCell(cx, rowCell[k]);
                    hashedCell[k] = cx;
                }
                BlockOffsets<Isa> o;
                const V colLower = Isa::Columns(&kColumnAxis.lower[k][i0]);
                const V colUpper = Isa::Columns(&kColumnAxis.upper[k][i0]);
                o.xy[0][0] = Isa::Or(colLower, rowLower[k]);
                o.xy[1][0] = Isa::Or(colUpper, rowLower[k]);
                o.xy[0][1] = Isa::Or(colLower, rowUpper[k]);
                o.xy[1][1] = Isa::Or(colUpper, rowUpper[k]);
                o.fadeX = Isa::Columns(&kColumnAxis.fade[k][i0]);
                o.fadeY = rowFade[k];
                sum = Isa::Add(sum, OctaveTerm<Isa, k>(f, hashes[k], o, fadeZ[k]));
            };
            octave(IntTag<0>{});
            octave(IntTag<1>{});
            octave(IntTag<2>{});
            octave(IntTag<3>{});

            const V m = Isa::template Srl<kTurbulenceToIndex>(Abs<Isa>(sum));
            const V a = Isa::Gather(SineTable, Isa::And(Isa::Add(rowStripe, m), indexMask));
            const V b =
                Isa::Gather(SineTable, Isa::And(Isa::Add(Isa::Columns(&kStripes.column[i0]), m), indexMask));
            const V shade = Isa::template Srl<kShadeShift>(Abs<Isa>(Isa::Mul(a, b)));
            // The low byte, as the plain path's conversion to a byte keeps it
            // (sine values of -255..255 make this a no-op).
            Isa::StoreBlock(Isa::And(shade, byteMask), grid + j0 * kGridStride + i0, kGridStride);
        }
    }
}

// Truncating bytewise average (a + b) >> 1, without the rounding of pavgb.
inline __m128i AverageDown(__m128i a, __m128i b) {
    const __m128i halfDiff = _mm_and_si128(_mm_srli_epi16(_mm_xor_si128(a, b), 1), _mm_set1_epi8(0x7F));
    return _mm_add_epi8(_mm_and_si128(a, b), halfDiff);
}

// Writes the samples into the even rows and columns of byte_image (a
// ByteImage-shaped buffer) and fills the rest by the same truncating averages
// as the plain path: odd columns of even rows, then odd rows (columns 0..W-1).
inline void FillFromGrid(const uint8_t* grid, uint8_t* byte_image) {
    constexpr int kChunk = 16;
    static_assert((W / 2) % kChunk == 0 && W % kChunk == 0, "rows must split into whole chunks");
    for (int j = 0; j < kGridRows; ++j) {
        const uint8_t* g = grid + j * kGridStride;
        uint8_t* row = byte_image + 2 * j * kByteStride;
        for (int k = 0; k < W / 2; k += kChunk) {
            const __m128i even = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + k));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + k + 1));
            const __m128i odd = AverageDown(even, next);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 2 * k), _mm_unpacklo_epi8(even, odd));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 2 * k + kChunk), _mm_unpackhi_epi8(even, odd));
        }
        row[W] = g[W / 2];
    }
    for (int j = 0; j < H / 2; ++j) {
        const uint8_t* above = byte_image + 2 * j * kByteStride;
        const uint8_t* below = above + 2 * kByteStride;
        uint8_t* row = byte_image + (2 * j + 1) * kByteStride;
        for (int c = 0; c < W; c += kChunk) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + c));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(below + c));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + c), AverageDown(a, b));
        }
    }
}

// Scratch space of one frame: about 29 KB, on the calling thread's stack so
// that concurrent calls share nothing. Every byte that is read is written
// first in the same call, so it needs no clearing.
struct FastScratch {
    alignas(64) uint8_t grid[kGridRowsPadded * kGridStride];  // the samples' shades
    FrameCorners corners;
};

// The whole frame for time value t through instruction set Isa, into
// byte_image (kByteRows * kByteStride bytes) and pixels (kPixelCount).
// Reads only the shading and noise tables, so it may run on several threads
// at once with their own buffers.
template <class Isa>
void RenderFrameFast(uint32_t t, uint8_t* byte_image, uint32_t* pixels) {
    FastScratch scratch;
    SampleGrid<Isa>(t, scratch.grid, scratch.corners);
    FillFromGrid(scratch.grid, byte_image);
    Isa::Convert(byte_image, pixels);
}

}  // namespace
