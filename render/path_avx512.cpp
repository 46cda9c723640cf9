// The vector frame renderer with AVX-512 (F, BW, DQ, VL and VBMI). Sixteen
// lanes: 4 columns of 4 rows.
#include <immintrin.h>

#include "render/path_kernel.h"
#include "render/path_entries.h"

namespace {

struct Avx512 {
    using V = __m512i;
    static constexpr int kLanes = 16;

    // Masked forms with every lane selected are used throughout: GCC 12's
    // unmasked forms trip -Wuninitialized on their own undefined operand.
    static constexpr __mmask16 kAll = 0xFFFF;

    static V Zero() { return _mm512_setzero_si512(); }
    static V Set1(uint32_t x) { return _mm512_set1_epi32(static_cast<int>(x)); }
    static V Add(V a, V b) { return _mm512_add_epi32(a, b); }
    static V Sub(V a, V b) { return _mm512_sub_epi32(a, b); }
    static V And(V a, V b) { return _mm512_and_si512(a, b); }
    static V Or(V a, V b) { return _mm512_or_si512(a, b); }
    static V Xor(V a, V b) { return _mm512_xor_si512(a, b); }
    static V Mul(V a, V b) { return _mm512_mullo_epi32(a, b); }
    static V AbsLanes(V a) { return _mm512_maskz_abs_epi32(kAll, a); }
    static V Madd16(V a, V b) { return _mm512_madd_epi16(a, b); }
    template <int N>
    static V Sll(V a) {
        return _mm512_maskz_slli_epi32(kAll, a, N);
    }
    template <int N>
    static V Srl(V a) {
        return _mm512_maskz_srli_epi32(kAll, a, N);
    }
    template <int N>
    static V Sra(V a) {
        return _mm512_maskz_srai_epi32(kAll, a, N);
    }
    // Four consecutive column values, repeated for all four rows.
    static V Columns(const uint32_t* p) {
        return _mm512_maskz_broadcast_i32x4(kAll, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    // Row p[r] in lanes 4r..4r+3.
    static V Rows(const uint32_t* p) {
        const V rows = _mm512_castsi128_si512(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        return _mm512_maskz_permutexvar_epi32(
            kAll, _mm512_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3), rows);
    }
    static V Gather(const int32_t* table, V index) {
        return _mm512_mask_i32gather_epi32(Zero(), kAll, index, table, 4);
    }
    static void StoreBlock(V v, uint8_t* dst, int stride) {
        alignas(16) uint32_t rows[4];  // lanes 4r..4r+3 narrowed to bytes: row r
        _mm_store_si128(reinterpret_cast<__m128i*>(rows), _mm512_maskz_cvtepi32_epi8(kAll, v));
        for (int r = 0; r < 4; ++r) __builtin_memcpy(dst + r * stride, &rows[r], sizeof rows[r]);
    }
    // Palette look-up, 64 shades at a time, with byte permutes: each palette
    // byte (blue, green, red, fourth) has its own 256-byte plane, looked up as
    // two 128-byte halves chosen by bit 7. Where the palette is grey (red =
    // green = the shade, fourth 0; checked by the scratch), only blue is
    // looked up. Set up once, then row by row.
    struct PaletteRows {
        static constexpr int kChunk = 64;
        V table[4][4];
        V reorder;
        bool grey = false;

        explicit PaletteRows(const BandTables& tables) : PaletteRows() { grey = tables.palette_grey; }
        PaletteRows() {
            alignas(64) uint8_t planes[4][kPaletteSize];
            for (int i = 0; i < kPaletteSize; i += kLanes) {
                const V entries = _mm512_loadu_si512(Palette + i);
                for (int p = 0; p < 4; ++p) {
                    const V shifted = _mm512_maskz_srlv_epi32(kAll, entries, Set1(static_cast<uint32_t>(8 * p)));
                    _mm_store_si128(reinterpret_cast<__m128i*>(&planes[p][i]),
                                    _mm512_maskz_cvtepi32_epi8(kAll, shifted));
                }
            }
            for (int p = 0; p < 4; ++p) {
                for (int q = 0; q < 4; ++q) table[p][q] = _mm512_load_si512(&planes[p][q * kChunk]);
            }
            // Input order that makes the in-lane unpacks below leave pixels in
            // memory order: position 16 L + w takes pixel 16 (w / 4) + 4 L + w % 4.
            alignas(64) uint8_t order[kChunk];
            for (int pos = 0; pos < kChunk; ++pos) {
                const int lane = pos / 16, w = pos % 16;
                order[pos] = static_cast<uint8_t>(16 * (w / 4) + 4 * lane + w % 4);
            }
            reorder = _mm512_load_si512(order);
        }

        NOISE_FAST_INLINE V Plane(int p, V index, __mmask64 upper_half) const {
            const V lower = _mm512_permutex2var_epi8(table[p][0], index, table[p][1]);
            const V upper = _mm512_permutex2var_epi8(table[p][2], index, table[p][3]);
            return _mm512_mask_blend_epi8(upper_half, lower, upper);
        }

        // Pixels of the 64 shades in bytes, in memory order: store(q, pixels)
        // for q = 0..3 takes pixels [16 q .. 16 q + 15]. (Handed on, not
        // returned in an array: GCC kept such an array on the stack.)
        template <bool kGrey, class Store>
        NOISE_FAST_INLINE void Chunk(V bytes, Store store) const {
            const V index = _mm512_maskz_permutexvar_epi8(~__mmask64{0}, reorder, bytes);
            const __mmask64 upper_half = _mm512_movepi8_mask(index);
            const V blue = Plane(0, index, upper_half);
            const V green = kGrey ? index : Plane(1, index, upper_half);
            const V red = kGrey ? index : Plane(2, index, upper_half);
            const V top = kGrey ? _mm512_setzero_si512() : Plane(3, index, upper_half);
            const V blue_green_low = _mm512_unpacklo_epi8(blue, green);
            const V blue_green_high = _mm512_unpackhi_epi8(blue, green);
            const V red_top_low = _mm512_unpacklo_epi8(red, top);
            const V red_top_high = _mm512_unpackhi_epi8(red, top);
            store(0, _mm512_unpacklo_epi16(blue_green_low, red_top_low));
            store(1, _mm512_unpackhi_epi16(blue_green_low, red_top_low));
            store(2, _mm512_unpacklo_epi16(blue_green_high, red_top_high));
            store(3, _mm512_unpackhi_epi16(blue_green_high, red_top_high));
        }

        // The truncating bytewise average (a + b) >> 1.
        static V AverageDown(V a, V b) {
            const V half_diff = _mm512_and_si512(_mm512_maskz_srli_epi16(~__mmask32{0}, _mm512_xor_si512(a, b), 1),
                                                 _mm512_set1_epi8(0x7F));
            return _mm512_maskz_add_epi8(~__mmask64{0}, _mm512_and_si512(a, b), half_diff);
        }

        // width pixels of the shades of row, or of the average of row and
        // below (each read up to 63 bytes past width).
        void Row(const uint8_t* row, const uint8_t* below, int width, uint32_t* out, uint8_t* /*odd_row*/) const {
            if (grey) {
                RowOf<true, false>(row, below, width, out);
            } else {
                RowOf<false, false>(row, below, width, out);
            }
        }

        // The same, with the whole 64-byte lines of out written by streaming stores.
        void StreamRow(const uint8_t* row, const uint8_t* below, int width, uint32_t* out, uint8_t* /*odd_row*/) const {
            if (grey) {
                RowOf<true, true>(row, below, width, out);
            } else {
                RowOf<false, true>(row, below, width, out);
            }
        }

        template <bool kGrey, bool kStream>
        NOISE_FAST_INLINE void RowOf(const uint8_t* row, const uint8_t* below, int width, uint32_t* out) const {
            auto load = [&](int c) {
                const V a = _mm512_loadu_si512(row + c);
                return below != nullptr ? AverageDown(a, _mm512_loadu_si512(below + c)) : a;
            };
            int c = 0;
            if (kStream) {
                // Pixels up to out's first 64-byte boundary, by a masked store.
                const int head = (16 - static_cast<int>(reinterpret_cast<uintptr_t>(out) / 4 % 16)) % 16;
                if (head > 0 && width > 64) {
                    const auto head_lanes = static_cast<__mmask16>((1u << head) - 1);
                    Chunk<kGrey>(load(0), [&](int q, V px) NOISE_FAST_LAMBDA {
                        if (q == 0) _mm512_mask_storeu_epi32(out, head_lanes, px);
                    });
                    c = head;
                }
            }
            for (; c + kChunk <= width; c += kChunk) {
                Chunk<kGrey>(load(c), [&](int q, V px) NOISE_FAST_LAMBDA {
                    if (kStream) {
                        _mm512_stream_si512(reinterpret_cast<V*>(out + c + 16 * q), px);
                    } else {
                        _mm512_storeu_si512(out + c + 16 * q, px);
                    }
                });
            }
            if (c < width) {
                Chunk<kGrey>(load(c), [&](int q, V px) NOISE_FAST_LAMBDA {
                    const int left = width - c - 16 * q;
                    if (left <= 0) return;
                    const auto mask = static_cast<__mmask16>(left >= 16 ? 0xFFFF : (1u << left) - 1);
                    _mm512_mask_storeu_epi32(out + c + 16 * q, mask, px);
                });
            }
        }
    };

    static void Convert(const uint8_t* bytes, uint32_t* pixels) {
        static_assert(W % PaletteRows::kChunk == 0, "rows must split into whole chunks");
        const PaletteRows palette;
        for (int r = 0; r < H; ++r) palette.Row(bytes + r * kByteStride, nullptr, W, pixels + r * W, nullptr);
    }

    // For frames of any size.
    static constexpr bool kPairOctaves = true;  // see PairOctaves
    // Products with a factor below 2^16 (made by U16 or U16s): a plain multiply here.
    static V U16(uint32_t c) { return Set1(c); }
    static V U16s(V v) { return v; }
    static V MulU16(V a, V u16) { return Mul(a, u16); }
    static V AddIfNegative(V x, V b) { return _mm512_mask_add_epi32(x, _mm512_movepi32_mask(x), x, b); }
    struct Stripes;
    static V Load(const int32_t* p) { return _mm512_loadu_si512(p); }
    static void Store(int32_t* p, V v) { _mm512_storeu_si512(p, v); }
    // Lanes first.. of fresh, the others of old.
    static V KeepFrom(V old, V fresh, int first) {
        return _mm512_mask_mov_epi32(old, static_cast<__mmask16>(0xFFFFu << first), fresh);
    }
    // floor(lo / 2^20) in the low 16 bits of each lane, floor(hi / 2^20) in
    // the high 16: the high words of both by one word permute, then an
    // arithmetic 16-bit shift by 4.
    static V FloorPair(V lo, V hi) {
        // Lane i takes word 2 i + 1 of lo, then word 2 i + 1 of hi (32 + 2 i + 1).
        const V index = _mm512_setr_epi32(
            0x00210001, 0x00230003, 0x00250005, 0x00270007, 0x00290009, 0x002B000B, 0x002D000D, 0x002F000F,
            0x00310011, 0x00330013, 0x00350015, 0x00370017, 0x00390019, 0x003B001B, 0x003D001D, 0x003F001F);
        return _mm512_maskz_srai_epi16(~__mmask32{0}, _mm512_permutex2var_epi16(lo, index, hi), 4);
    }
    static V MulSmall(V a, V b) { return Mul(a, b); }
    // Lanes hold values 0..255: they go to 16 consecutive bytes.
    static void StoreBytes(V v, uint8_t* dst) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm512_maskz_cvtepi32_epi8(kAll, v));
    }
};

// The stripes' sine values by byte permutes: |SineTable[k]| is
// |SineTable[SineFold(k)]| (when the scratch found the table so), and those
// 256 sizes fit in bytes, looked up as two 128-byte halves chosen by bit 7.
// The product of the sizes is |a * b|. The band sampler hands over two rows
// at a time (Rows): the four indices of a column's two samples then fill a
// lane's four bytes, and one look-up takes the sizes of 32 samples.
struct Avx512::Stripes {
    V table[4];  // sizes of entries 0..63, 64..127, 128..191, 192..255
    bool folds;

    explicit Stripes(const BandTables& tables) : folds(tables.sine_folds) {
        alignas(64) uint8_t sizes[256];
        for (int i = 0; i < 256; i += kLanes) {
            const V v = _mm512_maskz_abs_epi32(kAll, _mm512_loadu_si512(SineTable + i));
            _mm_store_si128(reinterpret_cast<__m128i*>(sizes + i), _mm512_maskz_cvtepi32_epi8(kAll, v));
        }
        for (int q = 0; q < 4; ++q) table[q] = _mm512_load_si512(sizes + 64 * q);
    }

    // SineFold of each word (indices below 2^15).
    static V Fold(V k) {
        const __mmask32 all_words = ~__mmask32{0};
        const V half = And(k, Set1(0x01FF01FFu));
        return _mm512_maskz_min_epu16(
            all_words,
            _mm512_maskz_min_epu16(all_words, half, _mm512_sub_epi16(_mm512_set1_epi16(512), half)),
            _mm512_set1_epi16(255));
    }

    // The shades of n rows of the 16 columns whose turbulence sums are
    // sum[0..n-1], row r's stripe index (0..1023) being stripe[r] and the
    // columns' column_stripe, to out (stride bytes a row); false where the
    // sizes do not fold, and nothing written.
    NOISE_FAST_INLINE bool Rows(const V* sum, const int32_t* stripe, V column_stripe, int n, uint8_t* out,
                                int stride) const {
        if (!folds) return false;
        const __mmask32 all_words = ~__mmask32{0};
        // Lane i: word 2 i (the low word) of the first row's sum, then of the second's.
        const V pair_rows = _mm512_setr_epi32(
            0x00200000, 0x00220002, 0x00240004, 0x00260006, 0x00280008, 0x002A000A, 0x002C000C, 0x002E000E,
            0x00300010, 0x00320012, 0x00340014, 0x00360016, 0x00380018, 0x003A001A, 0x003C001C, 0x003E001E);
        // Byte 1 of each word (the product >> 8): the first row's 16, then the second's.
        const V high_bytes = _mm512_setr_epi32(0x0D090501, 0x1D191511, 0x2D292521, 0x3D393531, 0x0F0B0703,
                                               0x1F1B1713, 0x2F2B2723, 0x3F3B3733, 0, 0, 0, 0, 0, 0, 0, 0);
        const V columns = Or(column_stripe, Sll<16>(column_stripe));
        for (int r = 0; r < n; r += 2) {
            const int r1 = r + 1 < n ? r + 1 : r;
            // |sum| < 2^15: the low words hold them whole.
            const V sums = _mm512_permutex2var_epi16(sum[r], pair_rows, sum[r1]);
            const V m = _mm512_maskz_srli_epi16(all_words, _mm512_maskz_abs_epi16(all_words, sums),
                                                kTurbulenceToIndex);
            const V a = Fold(_mm512_maskz_add_epi16(
                all_words, m,
                Set1(static_cast<uint32_t>(stripe[r]) | static_cast<uint32_t>(stripe[r1]) << 16)));
            const V b = Fold(_mm512_maskz_add_epi16(all_words, m, columns));
            // A lane's bytes: the first row's a and b indices, then the second row's.
            const V index = Or(a, _mm512_maskz_slli_epi16(all_words, b, 8));
            const V lower = _mm512_permutex2var_epi8(table[0], index, table[1]);
            const V upper = _mm512_permutex2var_epi8(table[2], index, table[3]);
            const V sizes = _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), lower, upper);
            const V products = _mm512_maskz_mullo_epi16(
                all_words, _mm512_maskz_srli_epi16(all_words, sizes, 8), And(sizes, Set1(0x00FF00FFu)));
            const V shades = _mm512_maskz_permutexvar_epi8(~__mmask64{0}, high_bytes, products);
            // (Masked extracts: GCC 12's plain cast to 128 bits trips -Wmaybe-uninitialized.)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + r * stride),
                             _mm512_maskz_extracti32x4_epi32(0xF, shades, 0));
            if (r1 != r) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + r1 * stride),
                                 _mm512_maskz_extracti32x4_epi32(0xF, shades, 1));
            }
        }
        return true;
    }

    // Where the sizes do not fold, the sampler's rows one at a time, gathered.
    NOISE_FAST_INLINE V Shade(V ia, V ib) const { return GatheredStripes<Avx512>().Shade(ia, ib); }
};

}  // namespace

void RenderFrameAvx512(uint32_t t, uint8_t* byte_image, uint32_t* pixels) {
    RenderFrameFast<Avx512>(t, byte_image, pixels);
}

const BandKernel kBandKernelAvx512 = MakeBandKernel<Avx512>();
