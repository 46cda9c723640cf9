// The vector whole-frame renderer, written once over a small set of lane
// operations and compiled by path_sse2.cpp, path_avx2.cpp, path_avx512.cpp
// and path_wasm.cpp (WebAssembly SIMD128), each with its own instruction-set
// flags.
//
// Everything here has internal linkage (anonymous namespace, or static as
// noise.h's FadeOffset) and only headers without other inline functions are
// included: a function with external linkage compiled with AVX-512 flags
// could otherwise be merged by the linker into the code that runs on every
// CPU.
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
#include "render/band_kernel.h"
#include "render/base_grid.h"
#include "render/frame.h"
#include "render/shading.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__wasm_simd128__)
#include <wasm_simd128.h>
#else
#error "the vector renderer needs SSE2 or WebAssembly SIMD128"
#endif

namespace {

constexpr int kGridCols = W / 2 + 1;                      // 161 sample columns
constexpr int kGridRows = H / 2 + 1;                      // 101 sample rows
constexpr int kBlockCols = 4;                             // grid columns per lane block
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


// Forced inlining keeps each octave's arithmetic in registers.
#define NOISE_FAST_INLINE inline __attribute__((always_inline))
#define NOISE_FAST_LAMBDA __attribute__((always_inline))  // after a lambda's parameter list

// Corner data of one frame, looked up by a corner's hashed x-y value
// h = PermTable[PermTable[cx] + cy] (0..255).
struct FrameCorners {
    uint32_t grad_xy[kTableEntries];          // GradTable[i]: x in the low, y in the high 16 bits
                                              // (components are at most 1024 in size)
    uint32_t term_z[kOctaves][2][TableSize];  // GradTable[h + cz].z times the z offset, per layer
    int32_t cell_z[kOctaves][2];              // lower and upper z cell per octave
};

// Fills the frame's corner data for time value t.
inline void PrepareFrame(FrameCorners& f, uint32_t t) {
    for (int i = 0; i < kTableEntries; ++i) {
        f.grad_xy[i] =
            (static_cast<uint32_t>(GradTable[i].x) & 0xFFFFu) | (static_cast<uint32_t>(GradTable[i].y) << 16);
    }
    for (int k = 0; k < kOctaves; ++k) {
        const uint32_t z = t << k;  // doubling per octave wraps in 32 bits; only the low 18 bits matter
        const auto r0 = static_cast<int32_t>(z & kOffsetMask);
        const int32_t cell = static_cast<int32_t>(z >> kCellShift) & kCellMask;
        const int32_t cells[2] = {cell, (cell + 1) & kCellMask};
        const int32_t offsets[2] = {r0, r0 - kFixedOne};
        for (int l = 0; l < 2; ++l) {
            f.cell_z[k][l] = cells[l];
            for (int h = 0; h < TableSize; ++h) {
                f.term_z[k][l][h] =
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
    typename Isa::V fade_x, fade_y;
};

// Blend along x of the two corners on edge (y = Y, z = Z): 1/1024 units.
template <class Isa, int K, int Z, int Y>
NOISE_FAST_INLINE typename Isa::V AlongX(const FrameCorners& f, const CellHashes& c,
                                         const BlockOffsets<Isa>& o) {
    using V = typename Isa::V;
    const uint32_t* grad_xy = f.grad_xy + f.cell_z[K][Z];
    const uint32_t* term_z = f.term_z[K][Z];
    const int32_t h0 = c.h[Y][0], h1 = c.h[Y][1];
    // Dot products in 1/2^20 units: 16-bit products summed in 32 bits, plus the z term.
    const V u = Isa::Add(Isa::Madd16(Isa::Set1(grad_xy[h0]), o.xy[0][Y]), Isa::Set1(term_z[h0]));
    const V v = Isa::Add(Isa::Madd16(Isa::Set1(grad_xy[h1]), o.xy[1][Y]), Isa::Set1(term_z[h1]));
    return Isa::template Sra<20>(Isa::Add(Isa::template Sll<10>(u), Isa::Mul(Isa::Sub(v, u), o.fade_x)));
}

// One z layer: the two x blends blended along y, left in 1/2^20 units.
template <class Isa, int K, int Z>
NOISE_FAST_INLINE typename Isa::V Layer(const FrameCorners& f, const CellHashes& c,
                                        const BlockOffsets<Isa>& o) {
    const typename Isa::V a = AlongX<Isa, K, Z, 0>(f, c, o);
    const typename Isa::V b = AlongX<Isa, K, Z, 1>(f, c, o);
    return Isa::Add(Isa::template Sll<10>(a), Isa::Mul(Isa::Sub(b, a), o.fade_y));
}

// Noise3 of every lane at octave K, divided by 2^K truncating toward zero.
template <class Isa, int K>
NOISE_FAST_INLINE typename Isa::V OctaveTerm(const FrameCorners& f, const CellHashes& c,
                                             const BlockOffsets<Isa>& o, typename Isa::V fade_z) {
    using V = typename Isa::V;
    const V lower = Layer<Isa, K, 0>(f, c, o);
    const V upper = Layer<Isa, K, 1>(f, c, o);
    const V n = Isa::template Sra<20>(
        Isa::Add(Isa::template Sll<10>(lower), Isa::Mul(Isa::Sub(upper, lower), fade_z)));
    if constexpr (K == 0) {
        return n;
    } else {
        // Truncating division by 2^K: negative values get 2^K - 1 added before the shift.
        const V bias = Isa::template Srl<32 - K>(Isa::template Sra<31>(n));
        return Isa::template Sra<K>(Isa::Add(n, bias));
    }
}

// |v| per lane: the path's own instruction where it has one (Isa::AbsLanes).
template <class Isa>
NOISE_FAST_INLINE typename Isa::V Abs(typename Isa::V v) {
    if constexpr (requires { Isa::AbsLanes(v); }) {
        return Isa::AbsLanes(v);
    } else {
        const typename Isa::V sign = Isa::template Sra<31>(v);
        return Isa::Sub(Isa::Xor(v, sign), sign);
    }
}

// Shades of all grid samples for time value t into grid (kGridRowsPadded rows
// of kGridStride bytes); the padding samples are computed and ignored.
template <class Isa>
void SampleGrid(uint32_t t, uint8_t* grid, FrameCorners& f) {
    using V = typename Isa::V;
    constexpr int kBlockRows = Isa::kLanes / kBlockCols;
    static_assert(kBlockRows >= 1 && 4 % kBlockRows == 0, "blocks must not straddle a cell");

    PrepareFrame(f, t);
    V fade_z[kOctaves];
    for (int k = 0; k < kOctaves; ++k) {
        fade_z[k] =
            Isa::Set1(static_cast<uint32_t>(FadeOffset(static_cast<int32_t>((t << k) & kOffsetMask))));
    }

    const V index_mask = Isa::Set1(kSineTableSize - 1);
    const V byte_mask = Isa::Set1(0xFFu);
    CellHashes hashes[kOctaves] = {};
    for (int j0 = 0; j0 < kGridRows; j0 += kBlockRows) {
        V row_lower[kOctaves], row_upper[kOctaves], row_fade[kOctaves];
        int32_t row_cell[kOctaves], hashed_cell[kOctaves];
        for (int k = 0; k < kOctaves; ++k) {
            row_lower[k] = Isa::Rows(&kRowAxis.lower[k][j0]);
            row_upper[k] = Isa::Rows(&kRowAxis.upper[k][j0]);
            row_fade[k] = Isa::Rows(&kRowAxis.fade[k][j0]);
            row_cell[k] = kRowAxis.cell[k][j0];
            hashed_cell[k] = -1;  // the y cell may have changed: hash again
        }
        const V row_stripe = Isa::Rows(&kStripes.row[j0]);

        for (int i0 = 0; i0 < kGridCols; i0 += kBlockCols) {
            V sum = Isa::Zero();
            auto octave = [&](auto kTag) __attribute__((always_inline)) {
                constexpr int k = decltype(kTag)::value;
                const int32_t cx = kColumnAxis.cell[k][i0];
                if (cx != hashed_cell[k]) {
                    hashes[k] = HashCell(cx, row_cell[k]);
                    hashed_cell[k] = cx;
                }
                BlockOffsets<Isa> o;
                const V col_lower = Isa::Columns(&kColumnAxis.lower[k][i0]);
                const V col_upper = Isa::Columns(&kColumnAxis.upper[k][i0]);
                o.xy[0][0] = Isa::Or(col_lower, row_lower[k]);
                o.xy[1][0] = Isa::Or(col_upper, row_lower[k]);
                o.xy[0][1] = Isa::Or(col_lower, row_upper[k]);
                o.xy[1][1] = Isa::Or(col_upper, row_upper[k]);
                o.fade_x = Isa::Columns(&kColumnAxis.fade[k][i0]);
                o.fade_y = row_fade[k];
                sum = Isa::Add(sum, OctaveTerm<Isa, k>(f, hashes[k], o, fade_z[k]));
            };
            octave(IntTag<0>{});
            octave(IntTag<1>{});
            octave(IntTag<2>{});
            octave(IntTag<3>{});

            const V m = Isa::template Srl<kTurbulenceToIndex>(Abs<Isa>(sum));
            const V a = Isa::Gather(SineTable, Isa::And(Isa::Add(row_stripe, m), index_mask));
            const V b =
                Isa::Gather(SineTable, Isa::And(Isa::Add(Isa::Columns(&kStripes.column[i0]), m), index_mask));
            const V shade = Isa::template Srl<kShadeShift>(Abs<Isa>(Isa::Mul(a, b)));
            // The low byte, as the plain path's conversion to a byte keeps it
            // (sine values of -255..255 make this a no-op).
            Isa::StoreBlock(Isa::And(shade, byte_mask), grid + j0 * kGridStride + i0, kGridStride);
        }
    }
}

// The 16-byte operations of the fill, on whichever 128-bit vectors the
// target has: loads and stores anywhere, the truncating bytewise average
// (a + b) >> 1 (without the rounding of pavgb), and the interleaving of the
// low or high 8 bytes of two vectors.
#if defined(__SSE2__)
struct Bytes16 {
    using B = __m128i;
    static B Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void Store(uint8_t* p, B v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static B AverageDown(B a, B b) {
        const B half_diff = _mm_and_si128(_mm_srli_epi16(_mm_xor_si128(a, b), 1), _mm_set1_epi8(0x7F));
        return _mm_add_epi8(_mm_and_si128(a, b), half_diff);
    }
    static B InterleaveLow(B a, B b) { return _mm_unpacklo_epi8(a, b); }
    static B InterleaveHigh(B a, B b) { return _mm_unpackhi_epi8(a, b); }
};
#else
struct Bytes16 {
    using B = v128_t;
    static B Load(const uint8_t* p) { return wasm_v128_load(p); }
    static void Store(uint8_t* p, B v) { wasm_v128_store(p, v); }
    static B AverageDown(B a, B b) {
        return wasm_i8x16_add(wasm_v128_and(a, b), wasm_u8x16_shr(wasm_v128_xor(a, b), 1));
    }
    static B InterleaveLow(B a, B b) {
        return wasm_i8x16_shuffle(a, b, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    }
    static B InterleaveHigh(B a, B b) {
        return wasm_i8x16_shuffle(a, b, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
    }
};
#endif

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
            const Bytes16::B even = Bytes16::Load(g + k);
            const Bytes16::B next = Bytes16::Load(g + k + 1);
            const Bytes16::B odd = Bytes16::AverageDown(even, next);
            Bytes16::Store(row + 2 * k, Bytes16::InterleaveLow(even, odd));
            Bytes16::Store(row + 2 * k + kChunk, Bytes16::InterleaveHigh(even, odd));
        }
        row[W] = g[W / 2];
    }
    for (int j = 0; j < H / 2; ++j) {
        const uint8_t* above = byte_image + 2 * j * kByteStride;
        const uint8_t* below = above + 2 * kByteStride;
        uint8_t* row = byte_image + (2 * j + 1) * kByteStride;
        for (int c = 0; c < W; c += kChunk) {
            const Bytes16::B a = Bytes16::Load(above + c);
            const Bytes16::B b = Bytes16::Load(below + c);
            Bytes16::Store(row + c, Bytes16::AverageDown(a, b));
        }
    }
}

// Scratch space of one frame: about 28 KB, on the calling thread's stack so
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
// Aligned to a cache line: where its loops fall relative to 64-byte lines
// moved the SSE2 base frame by 7% as unrelated code around it changed.
template <class Isa>
__attribute__((aligned(64))) void RenderFrameFast(uint32_t t, uint8_t* byte_image, uint32_t* pixels) {
    FastScratch scratch;
    SampleGrid<Isa>(t, scratch.grid, scratch.corners);
    FillFromGrid(scratch.grid, byte_image);
    Isa::Convert(byte_image, pixels);
}

// ---------------------------------------------------------------------------
// Frames of any size, a band of rows at a time (render/band_kernel.h).
//
// Lanes cover Isa::kLanes consecutive grid columns of one row. The noise
// coordinates of a column or a row no longer fall on a fixed grid, so each
// octave's x decomposition (offset and fade) comes from the shape's column
// tables, and the lanes of a vector may lie in different x cells. Per y cell
// of an octave (and per time value), BuildBlends writes P and Q of the four
// x blends of every column:
//   E(YZ) = P(YZ) + ry * Q(YZ),   x blend a(YZ) = E(YZ) >> 20,
// ry being the row's offset from the lower y corner, 0..1023 (Q is folded
// into P for the upper y edge, whose offset is ry - 1024). E is the
// lattice noise's own unshifted x blend, u * 1024 + (v - u) * s, written out
// as a polynomial in ry; it fits in 32 bits, so wrapping multiplies and adds
// give it exactly. A row then costs, per octave and vector, four adds and
// shifts for the x blends; the x blends fit in 16 bits, so the y blend of a
// z layer is a 16-bit multiply-add of the pair (a(Y0), a(Y1)) against the
// row's (1024 - sy, sy), and the z blend two multiplies (one, as
// (B0 << 10) + (B1 - B0) * sz, where a 32-bit multiply is emulated):
//   x = (1024 - sz) * B0 + sz * B1,  B_Z = (1024 - sy) * a(Y0 Z) + sy * a(Y1 Z),
// the same sum the lattice noise forms layer by layer (|x| < 2^31). The
// octave's term, floor(x / 2^20) divided by 2^K truncating toward zero, is
// (x + (x < 0 ? (2^K - 1) << 20 : 0)) >> (20 + K).
//
// Rows are taken in runs that share their y cell at every octave (the cells
// of octave 3 split those of the lower octaves), and within a run a vector's
// P and Q stay in registers for all its rows.

// The time axis at one octave: lower and upper z cell and offset, and the
// z blend's fade sz.
struct ZOctave {
    int32_t cell[2];
    int32_t offset[2];
    uint32_t fade;
};

NOISE_FAST_INLINE uint32_t WeightPair(int32_t s) {
    return static_cast<uint32_t>(kFixedOne - s) | (static_cast<uint32_t>(s) << 16);
}

// P and Q of octave k for y cell cy into tables.pq[k]: the block of kLanes
// columns starting at column i (a multiple of kLanes) holds plane 2 e (P)
// and 2 e + 1 (Q) of x blend e = 2 Y + Z at pq + i * kBlendPlanes + plane * kLanes.
// Runs of columns in one x cell are taken in order; a run's first block keeps
// the lanes of the runs before it, its last block's lanes past the run are
// overwritten by the next run.
// Where pq[k] holds y cell cy - 1 at the same time value (carry), the lower
// y edge of cy is that cell's upper edge: its blends are moved, their P
// unfolded (ry is measured from this edge now, so P + 1024 Q), and only the
// upper edge's are made.
template <class Isa>
void BuildBlends(BandTables& tables, int k, int32_t cy, const ZOctave& z, bool carry) {
    using V = typename Isa::V;
    constexpr int L = Isa::kLanes;
    const int32_t* offset = tables.column_offset[k];
    const int32_t* fade = tables.column_fade[k];
    int32_t* const pq = tables.pq[k];
    const int32_t cy1 = (cy + 1) & kCellMask;
    if (carry) {
        for (int i = 0; i < tables.grid_cols; i += L) {
            int32_t* block = pq + i * kBlendPlanes;
            for (int layer = 0; layer < 2; ++layer) {  // blend e = layer from e = 2 + layer
                const int32_t* upper = block + 2 * (2 + layer) * L;
                const V q = Isa::Load(upper + L);
                Isa::Store(block + 2 * layer * L, Isa::Add(Isa::Load(upper), Isa::template Sll<10>(q)));
                Isa::Store(block + (2 * layer + 1) * L, q);
            }
        }
    }
    const int first = carry ? 2 : 0;  // the first blend to make
    for (int n = 0; n < tables.cell_count[k]; ++n) {
        const int i0 = tables.cell_start[k][n], i1 = tables.cell_start[k][n + 1];
        const int32_t cx = tables.cell_index[k][n];
        const int32_t hx0 = PermTable[cx], hx1 = PermTable[(cx + 1) & kCellMask];
        const int32_t lower[2] = {PermTable[hx0 + cy], PermTable[hx0 + cy1]};  // [Y]: the x-lower corner's hash
        const int32_t upper[2] = {PermTable[hx1 + cy], PermTable[hx1 + cy1]};
        // E = rx * ((1024 - sx) gu.x + sx gv.x) + 1024 cu + sx (cv - cu - 1024 gv.x)
        //     + ry * ((1024 - sx) gu.y + sx gv.y),  cu, cv the corners' z terms.
        // The gradients' blends along x are 16-bit multiply-adds of the pairs
        // (gu, gv) (components within +-1024) against (1024 - sx, sx).
        // Made in scalars and broadcast where used: arrays of vectors went
        // through the stack, sixteen stores and loads for each cell.
        uint32_t gx[4], gy[4], c1[4], c2[4];
        for (int e = first; e < 4; ++e) {
            const int y = e >> 1, l = e & 1;
            const Gradient& gu = GradTable[lower[y] + z.cell[l]];
            const Gradient& gv = GradTable[upper[y] + z.cell[l]];
            const uint32_t cu = static_cast<uint32_t>(gu.z) * static_cast<uint32_t>(z.offset[l]);
            const uint32_t cv = static_cast<uint32_t>(gv.z) * static_cast<uint32_t>(z.offset[l]);
            gx[e] = (static_cast<uint32_t>(gu.x) & 0xFFFF) | static_cast<uint32_t>(gv.x) << 16;
            gy[e] = (static_cast<uint32_t>(gu.y) & 0xFFFF) | static_cast<uint32_t>(gv.y) << 16;
            c1[e] = cu << 10;
            c2[e] = cv - cu - (static_cast<uint32_t>(gv.x) << 10);
        }
        const V one = Isa::Set1(kFixedOne);
        for (int i = i0 - i0 % L; i < i1; i += L) {
            const V rx = Isa::U16s(Isa::Load(offset + i));  // offsets and fades are below 2^10
            const V fade_x = Isa::Load(fade + i);
            const V sx = Isa::U16s(fade_x);
            const V weights = Isa::Or(Isa::Sub(one, fade_x), Isa::template Sll<16>(fade_x));  // (1024 - sx, sx)
            int32_t* block = pq + i * kBlendPlanes;
            // The four blends written out (GCC keeps a loop over them, with its branches, otherwise).
            auto blend = [&](auto e_constant) NOISE_FAST_LAMBDA {
                constexpr int e = decltype(e_constant)::value;
                V p = Isa::Add(Isa::MulU16(Isa::Madd16(Isa::Set1(gx[e]), weights), rx),
                               Isa::Add(Isa::Set1(c1[e]), Isa::MulU16(Isa::Set1(c2[e]), sx)));
                const V q = Isa::Madd16(Isa::Set1(gy[e]), weights);
                if constexpr (e >= 2) p = Isa::Sub(p, Isa::template Sll<10>(q));  // upper y edge: ry - 1024
                int32_t* pp = block + 2 * e * L;
                int32_t* qq = pp + L;
                if (i < i0) {
                    Isa::Store(pp, Isa::KeepFrom(Isa::Load(pp), p, i0 - i));
                    Isa::Store(qq, Isa::KeepFrom(Isa::Load(qq), q, i0 - i));
                } else {
                    Isa::Store(pp, p);
                    Isa::Store(qq, q);
                }
            };
            if (first == 0) {
                blend(IntTag<0>());
                blend(IntTag<1>());
            }
            blend(IntTag<2>());
            blend(IntTag<3>());
        }
    }
}

// Per-row values of a run at every octave: the first row's ry, and per row
// the y blend's weights (1024 - sy) | sy << 16. Within a run ry grows by
// dy << k from row to row, dy being the step of the rows' noise y, which is
// either step or step + 1 (long[r] is all ones for the latter).
struct RunRows {
    uint32_t first_ry[kOctaves];
    uint32_t step;
    uint32_t weights[kOctaves][kMaxSampleRows];
    uint32_t is_long[kMaxSampleRows];
};

// floor(lo / 2^20) w0 + floor(hi / 2^20) w1 per lane, w holding w0 in its
// low and w1 in its high 16 bits: the two floors are 16-bit words, paired in
// one lane by the path's FloorPair where it has one (a word permute), else
// shifted apart and handed to the path's PairMadd.
template <class Isa>
NOISE_FAST_INLINE typename Isa::V FloorPairMadd(typename Isa::V lo, typename Isa::V hi, typename Isa::V w) {
    if constexpr (requires { Isa::FloorPair(lo, hi); }) {
        return Isa::Madd16(Isa::FloorPair(lo, hi), w);
    } else {
        return Isa::PairMadd(Isa::template Sra<20>(lo), Isa::template Sra<4>(hi), w);
    }
}

// Octave K along the rows of a run, for one vector of columns (its P and Q
// block): the x blends' E, stepped from row to row by E += (dy << K) * Q.
template <class Isa, int K>
struct OctaveRun {
    using V = typename Isa::V;
    V e0, e1, e2, e3, s0, s1, s2, s3, l0, l1, l2, l3;
    V fade_z, weight_z0, bias;

    NOISE_FAST_INLINE OctaveRun(const int32_t* block, const RunRows& rows, uint32_t sz) {
        constexpr int L = Isa::kLanes;
        // ry < 2^10; a run of several rows has cells of at least two rows, so step << K <= 2^10 too.
        const V ry = Isa::U16(rows.first_ry[K]);
        const V step = Isa::U16(rows.step << K);
        // Plane pair p: P at block + 2 p L, Q after it. (Written out: GCC keeps
        // small arrays of vectors in memory.)
        const V q0 = Isa::Load(block + L), q1 = Isa::Load(block + 3 * L);
        const V q2 = Isa::Load(block + 5 * L), q3 = Isa::Load(block + 7 * L);
        e0 = Isa::Add(Isa::Load(block), Isa::MulU16(q0, ry));
        e1 = Isa::Add(Isa::Load(block + 2 * L), Isa::MulU16(q1, ry));
        e2 = Isa::Add(Isa::Load(block + 4 * L), Isa::MulU16(q2, ry));
        e3 = Isa::Add(Isa::Load(block + 6 * L), Isa::MulU16(q3, ry));
        s0 = Isa::MulU16(q0, step), s1 = Isa::MulU16(q1, step);
        s2 = Isa::MulU16(q2, step), s3 = Isa::MulU16(q3, step);
        // The long step: one more unit of y, 2^K more of ry.
        l0 = Isa::Add(s0, Isa::template Sll<K>(q0)), l1 = Isa::Add(s1, Isa::template Sll<K>(q1));
        l2 = Isa::Add(s2, Isa::template Sll<K>(q2)), l3 = Isa::Add(s3, Isa::template Sll<K>(q3));
        fade_z = Isa::U16(sz), weight_z0 = Isa::U16(kFixedOne - sz);
        bias = Isa::Set1(((1u << K) - 1) << 20);
    }

    NOISE_FAST_INLINE void Step(bool is_long) {
        if (is_long) {
            e0 = Isa::Add(e0, l0);
            e1 = Isa::Add(e1, l1);
            e2 = Isa::Add(e2, l2);
            e3 = Isa::Add(e3, l3);
        } else {
            e0 = Isa::Add(e0, s0);
            e1 = Isa::Add(e1, s1);
            e2 = Isa::Add(e2, s2);
            e3 = Isa::Add(e3, s3);
        }
    }

    // The octave's term at the current row, row r of the run.
    NOISE_FAST_INLINE V Term(const RunRows& rows, int r) const {
        // Per z layer the y blend B = a(Y0) (1024 - sy) + a(Y1) sy of the x
        // blends' floors (16 bits: one multiply-add), then the z blend
        // B0 (1024 - sz) + B1 sz, as (B0 << 10) + (B1 - B0) sz where a
        // 32-bit multiply takes several instructions.
        const V wy = Isa::Set1(rows.weights[K][r]);
        const V b0 = FloorPairMadd<Isa>(e0, e2, wy);
        const V b1 = FloorPairMadd<Isa>(e1, e3, wy);
        V x;
        if constexpr (requires { Isa::kEmulatedMul; }) {
            x = Isa::Add(Isa::template Sll<10>(b0), Isa::MulU16(Isa::Sub(b1, b0), fade_z));
        } else {
            x = Isa::Add(Isa::MulU16(b0, weight_z0), Isa::MulU16(b1, fade_z));
        }
        if constexpr (K == 0) {
            return Isa::template Sra<20>(x);
        } else {
            return Isa::template Sra<20 + K>(Isa::AddIfNegative(x, bias));
        }
    }
};

// Whether path Isa takes the rows of two octaves at a time: where it asks
// to (Isa::kPairOctaves) and the target has 16 vector registers or more
// (x86-64). 32-bit x86 code has 8, and spilled the second octave's steps:
// 20% slower there, 2 to 3% faster in 64-bit code.
template <class Isa>
constexpr bool PairOctaves() {
#if defined(__x86_64__)
    return requires { Isa::kPairOctaves; };
#else
    return false;
#endif
}

// Adds the terms of octave K, and of K + 1 where kPair, of n rows of the
// vector of columns at column i to sum. (Two loops written out, their
// branches as they stand: a loop over a pack of octaves made SIMD128 8%
// slower under Node, one branch on is_long || r > 0 17%.)
template <class Isa, int K, bool kPair>
NOISE_FAST_INLINE void AddOctaves(const BandTables& tables, int i, const RunRows& rows, const ZOctave* z,
                                  int n, typename Isa::V* sum) {
    using V = typename Isa::V;
    OctaveRun<Isa, K> first(tables.pq[K] + i * kBlendPlanes, rows, z[K].fade);
    // The same rows for every vector of the run: the branches on is_long are well predicted.
    if constexpr (kPair) {
        OctaveRun<Isa, K + 1> second(tables.pq[K + 1] + i * kBlendPlanes, rows, z[K + 1].fade);
        for (int r = 0; r < n; ++r) {
            if (rows.is_long[r] != 0) {
                first.Step(true);
                second.Step(true);
            } else if (r > 0) {
                first.Step(false);
                second.Step(false);
            }
            const V term = Isa::Add(first.Term(rows, r), second.Term(rows, r));
            sum[r] = K == 0 ? term : Isa::Add(sum[r], term);  // octave 0 comes first
        }
    } else {
        for (int r = 0; r < n; ++r) {
            if (rows.is_long[r] != 0) {
                first.Step(true);
            } else if (r > 0) {
                first.Step(false);
            }
            const V term = first.Term(rows, r);
            sum[r] = K == 0 ? term : Isa::Add(sum[r], term);
        }
    }
}

// Shades of n rows from grid row j on, one run: every row in the same y cells.
template <class Isa>
void SampleRun(const BandTables& tables, const ZOctave* z, int j, int n, uint8_t* shades, int stride) {
    using V = typename Isa::V;
    constexpr int L = Isa::kLanes;
    RunRows rows;
    int32_t stripe[kMaxSampleRows];
    // Steps between rows are floor(32 q / p) or one more: the smaller of the run's, if any.
    rows.step = n > 1 ? static_cast<uint32_t>(tables.row_y[j + 1] - tables.row_y[j]) : 0;
    for (int r = 2; r < n; ++r) {
        const auto dy = static_cast<uint32_t>(tables.row_y[j + r] - tables.row_y[j + r - 1]);
        if (dy < rows.step) rows.step = dy;
    }
    for (int k = 0; k < kOctaves; ++k) {
        rows.first_ry[k] = (static_cast<uint32_t>(tables.row_y[j]) << k) & kOffsetMask;
    }
    for (int r = 0; r < n; ++r) {
        for (int k = 0; k < kOctaves; ++k) {
            const uint32_t ry = (static_cast<uint32_t>(tables.row_y[j + r]) << k) & kOffsetMask;
            const auto sy = static_cast<uint32_t>(FadeOffset(static_cast<int32_t>(ry)));
            rows.weights[k][r] = WeightPair(static_cast<int32_t>(sy));
        }
        rows.is_long[r] =
            r > 0 && static_cast<uint32_t>(tables.row_y[j + r] - tables.row_y[j + r - 1]) != rows.step ? ~0u : 0u;
        stripe[r] = (tables.row_stripe[j + r] - 120) & (kSineTableSize - 1);
    }
    const typename Isa::Stripes stripes(tables);
    for (int i = 0; i < tables.grid_cols; i += L) {
        V sum[kMaxSampleRows];  // set by octave 0
        if constexpr (PairOctaves<Isa>()) {
            AddOctaves<Isa, 0, true>(tables, i, rows, z, n, sum);
            AddOctaves<Isa, 2, true>(tables, i, rows, z, n, sum);
        } else {
            AddOctaves<Isa, 0, false>(tables, i, rows, z, n, sum);
            AddOctaves<Isa, 1, false>(tables, i, rows, z, n, sum);
            AddOctaves<Isa, 2, false>(tables, i, rows, z, n, sum);
            AddOctaves<Isa, 3, false>(tables, i, rows, z, n, sum);
        }
        const V column_stripe = Isa::Load(tables.column_stripe + i);
        if constexpr (requires { stripes.Rows(sum, stripe, column_stripe, n, shades, stride); }) {
            if (stripes.Rows(sum, stripe, column_stripe, n, shades + i, stride)) continue;
        }
        for (int r = 0; r < n; ++r) {
            const V m = Isa::template Srl<kTurbulenceToIndex>(Abs<Isa>(sum[r]));
            // Both stripes' indices before their reduction to the table's size:
            // 0..1023 plus m (below 2^10), so below 2^11.
            const V a = Isa::Add(Isa::Set1(static_cast<uint32_t>(stripe[r])), m);
            const V b = Isa::Add(column_stripe, m);
            Isa::StoreBytes(stripes.Shade(a, b), shades + r * stride + i);
        }
    }
}

// |a * b| >> 8 of the sine values at indices ia and ib (taken modulo
// 1024), gathered.
template <class Isa>
struct GatheredStripes {
    GatheredStripes() = default;
    explicit GatheredStripes(const BandTables& /*tables*/) {}
    NOISE_FAST_INLINE typename Isa::V Shade(typename Isa::V ia, typename Isa::V ib) const {
        const typename Isa::V index_mask = Isa::Set1(kSineTableSize - 1);
        const typename Isa::V a = Isa::Gather(SineTable, Isa::And(ia, index_mask));
        const typename Isa::V b = Isa::Gather(SineTable, Isa::And(ib, index_mask));
        return Isa::template Srl<kShadeShift>(Abs<Isa>(Isa::MulSmall(a, b)));
    }
};

// |a * b| >> 8 of the sine values at indices ia and ib (modulo 1024), their
// sizes computed by StripeSizeByPolynomial's polynomial in the same order,
// in the path's single precision lanes (Isa::F), where the scratch found
// that it gives the table (tables.sine_polynomial); gathered where not.
template <class Isa>
struct PolynomialStripes {
    using V = typename Isa::V;
    using F = typename Isa::F;
    bool computed;

    explicit PolynomialStripes(const BandTables& tables) : computed(tables.sine_polynomial) {}

    NOISE_FAST_INLINE static V Size(V k) {
        const F u = Isa::FSub(Isa::ToFloat(Isa::And(k, Isa::Set1(kSineTableSize / 2 - 1))), Isa::FSet1(256.0f));
        const F u2 = Isa::FMul(u, u);
        const float* c = kStripeSizeCoefficients;
        F p = Isa::FAdd(Isa::FMul(Isa::FSet1(c[3]), u2), Isa::FSet1(c[2]));
        p = Isa::FAdd(Isa::FMul(p, u2), Isa::FSet1(c[1]));
        p = Isa::FAdd(Isa::FMul(p, u2), Isa::FSet1(c[0]));
        return Isa::RoundToInt(p);
    }

    NOISE_FAST_INLINE V Shade(V ia, V ib) const {
        if (!computed) return GatheredStripes<Isa>().Shade(ia, ib);
        return Isa::template Srl<kShadeShift>(Isa::MulSmall(Size(ia), Size(ib)));
    }
};

// The band sampler: grid rows j0 .. j0 + rows - 1, run by run, remaking an
// octave's P and Q where its y cell or the time value changed.
template <class Isa>
void SampleRowsVector(BandTables* tables, uint32_t t, int j0, int rows, uint8_t* shades, int stride) {
    BandTables& b = *tables;
    ZOctave z[kOctaves];
    for (int k = 0; k < kOctaves; ++k) {
        const uint32_t v = t << k;  // doubling wraps in 32 bits; only the low 18 bits matter
        const auto r0 = static_cast<int32_t>(v & kOffsetMask);
        const auto cell = static_cast<int32_t>(v >> kCellShift) & kCellMask;
        z[k] = {{cell, (cell + 1) & kCellMask}, {r0, r0 - kFixedOne}, static_cast<uint32_t>(FadeOffset(r0))};
    }
    auto cell_of = [&](int j, int k) {
        return static_cast<int32_t>((static_cast<uint32_t>(b.row_y[j]) << k) >> kCellShift) & kCellMask;
    };
    for (int r = 0; r < rows;) {
        const int j = j0 + r;
        int32_t cy[kOctaves];
        for (int k = 0; k < kOctaves; ++k) cy[k] = cell_of(j, k);
        int n = 1;
        for (; r + n < rows; ++n) {
            bool same = true;
            for (int k = 0; k < kOctaves; ++k) same = same && cell_of(j + n, k) == cy[k];
            if (!same) break;
        }
        for (int k = 0; k < kOctaves; ++k) {
            const bool same_time = b.pq_ready[k] && b.pq_time[k] == t;
            if (!same_time || b.pq_cell[k] != cy[k]) {
                BuildBlends<Isa>(b, k, cy[k], z[k], same_time && cy[k] == ((b.pq_cell[k] + 1) & kCellMask));
                b.pq_ready[k] = true;
                b.pq_cell[k] = cy[k];
                b.pq_time[k] = t;
            }
        }
        SampleRun<Isa>(b, z, j, n, shades + r * stride, stride);
        r += n;
    }
}

// Grid rows filled along x, 16 shades at a time (render/band_kernel.h).
inline void FillRowsVector(const uint8_t* shades, int shade_stride, int rows, int width, uint8_t* filled,
                           int byte_stride) {
    constexpr int kChunk = 16;
    for (int r = 0; r < rows; ++r) {
        const uint8_t* g = shades + r * shade_stride;
        uint8_t* row = filled + r * byte_stride;
        for (int k = 0; 2 * k < width; k += kChunk) {
            const Bytes16::B even = Bytes16::Load(g + k);
            const Bytes16::B odd = Bytes16::AverageDown(even, Bytes16::Load(g + k + 1));
            Bytes16::Store(row + 2 * k, Bytes16::InterleaveLow(even, odd));
            Bytes16::Store(row + 2 * k + kChunk, Bytes16::InterleaveHigh(even, odd));
        }
    }
}

// The truncating average of width bytes of rows a and b into out, 16 at a
// time (out may be written up to 15 bytes past width).
inline void AverageRow(const uint8_t* a, const uint8_t* b, int width, uint8_t* out) {
    constexpr int kChunk = 16;
    for (int c = 0; c < width; c += kChunk) {
        Bytes16::Store(out + c, Bytes16::AverageDown(Bytes16::Load(a + c), Bytes16::Load(b + c)));
    }
}

// The palette of a row, or of the average of row and below (through
// odd_row), for the four-lane paths (SSE2, SIMD128), which have no byte
// permutes: four shades read at once, four pixels stored at once.
template <class Isa>
struct FourShadePalette {
    explicit FourShadePalette(const BandTables& /*tables*/) {}
    static void Row(const uint8_t* row, const uint8_t* below, int width, uint32_t* out, uint8_t* odd_row) {
        if (below != nullptr) {
            AverageRow(row, below, width, odd_row);
            row = odd_row;
        }
        int c = 0;
        for (; c + 4 <= width; c += 4) {
            uint32_t four;
            __builtin_memcpy(&four, row + c, sizeof four);
            const uint32_t px[4] = {Palette[four & 0xFF], Palette[(four >> 8) & 0xFF], Palette[(four >> 16) & 0xFF],
                                    Palette[four >> 24]};
            Isa::Store(reinterpret_cast<int32_t*>(out + c), Isa::Columns(px));
        }
        for (; c < width; ++c) out[c] = Palette[row[c]];
    }
};

// Output rows through the palette (render/band_kernel.h); Isa::PaletteRows,
// set up once per call, converts a row, or the average of two. Where the
// tables ask for streaming stores and the path has them (PaletteRows::
// StreamRow: AVX2 and AVX-512, whose pixels are made fast enough for the
// memory writes to matter; SSE2 measured no gain), a fence after the last
// row puts the pixels in memory before the frame is handed over.
template <class Isa>
void OutputRowsVector(const BandTables* tables, const uint8_t* filled, int byte_stride, uint8_t* odd_row, int r0,
                      int count, int width, uint32_t* out, ptrdiff_t out_stride) {
    const typename Isa::PaletteRows palette(*tables);
#if defined(__SSE2__)
    // Each row aligns its own streaming stores: a row's start may lie
    // anywhere (a surface's pitch need not be a whole number of vectors).
    if constexpr (requires { palette.StreamRow(filled, filled, width, out, odd_row); }) {
        if (tables->stream_pixels) {
            for (int k = 0; k < count; ++k) {
                const int r = r0 + k;
                const uint8_t* row = filled + (r / 2) * byte_stride;
                palette.StreamRow(row, (r & 1) != 0 ? row + byte_stride : nullptr, width, out + k * out_stride,
                                  odd_row);
            }
            _mm_sfence();
            return;
        }
    }
#endif
    for (int k = 0; k < count; ++k) {
        const int r = r0 + k;
        const uint8_t* row = filled + (r / 2) * byte_stride;
        palette.Row(row, (r & 1) != 0 ? row + byte_stride : nullptr, width, out + k * out_stride, odd_row);
    }
}

template <class Isa>
constexpr BandKernel MakeBandKernel() {
    return {SampleRowsVector<Isa>, FillRowsVector, OutputRowsVector<Isa>};
}

}  // namespace
