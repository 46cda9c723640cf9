// The vector frame renderer with AVX2. Eight lanes: 4 columns of 2 rows.
#include <immintrin.h>

#include "render/path_kernel.h"
#include "render/path_entries.h"

namespace {

struct Avx2 {
    using V = __m256i;
    static constexpr int kLanes = 8;

    static V Zero() { return _mm256_setzero_si256(); }
    static V Set1(uint32_t x) { return _mm256_set1_epi32(static_cast<int>(x)); }
    static V Add(V a, V b) { return _mm256_add_epi32(a, b); }
    static V Sub(V a, V b) { return _mm256_sub_epi32(a, b); }
    static V And(V a, V b) { return _mm256_and_si256(a, b); }
    static V Or(V a, V b) { return _mm256_or_si256(a, b); }
    static V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
    static V Mul(V a, V b) { return _mm256_mullo_epi32(a, b); }
    static V AbsLanes(V a) { return _mm256_abs_epi32(a); }
    static V Madd16(V a, V b) { return _mm256_madd_epi16(a, b); }
    template <int N>
    static V Sll(V a) {
        return _mm256_slli_epi32(a, N);
    }
    template <int N>
    static V Srl(V a) {
        return _mm256_srli_epi32(a, N);
    }
    template <int N>
    static V Sra(V a) {
        return _mm256_srai_epi32(a, N);
    }
    // Four consecutive column values, repeated for both rows.
    static V Columns(const uint32_t* p) {
        return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    // Row p[0] in lanes 0..3, row p[1] in lanes 4..7.
    static V Rows(const uint32_t* p) {
        return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_set1_epi32(static_cast<int>(p[0]))),
                                       _mm_set1_epi32(static_cast<int>(p[1])), 1);
    }
    static V Gather(const int32_t* table, V index) { return _mm256_i32gather_epi32(table, index, 4); }
    static void StoreBlock(V v, uint8_t* dst, int stride) {
        V w = _mm256_packs_epi32(v, v);  // packs within each 128-bit half: one row per half
        w = _mm256_packus_epi16(w, w);
        const auto row0 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm256_castsi256_si128(w)));
        const auto row1 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm256_extracti128_si256(w, 1)));
        __builtin_memcpy(dst, &row0, sizeof row0);
        __builtin_memcpy(dst + stride, &row1, sizeof row1);
    }
    // For frames of any size.
    // lo's low 16 bits times w's, plus hi's high 16 bits times w's.
    static V PairMadd(V lo, V hi, V w) { return Madd16(PairWords(lo, hi), w); }
    static constexpr bool kPairOctaves = true;  // see PairOctaves
    // Products with a factor below 2^16 (made by U16 or U16s): a plain multiply here.
    static V U16(uint32_t c) { return Set1(c); }
    static V U16s(V v) { return v; }
    static V MulU16(V a, V u16) { return Mul(a, u16); }
    static V AddIfNegative(V x, V b) { return Add(x, And(Sra<31>(x), b)); }
    struct Stripes;
    static V Load(const int32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static void Store(int32_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    // Lanes first.. of fresh, the others of old.
    static V KeepFrom(V old, V fresh, int first) {
        const V mask = _mm256_cmpgt_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(first - 1));
        return _mm256_blendv_epi8(old, fresh, mask);
    }
    // The low 16 bits of each lane of lo, the high 16 of hi.
    static V PairWords(V lo, V hi) { return _mm256_blend_epi16(lo, hi, 0xAA); }
    static V MulSmall(V a, V b) { return Mul(a, b); }
    // Single precision lanes, for the stripes' sizes (PolynomialStripes).
    using F = __m256;
    static F FSet1(float x) { return _mm256_set1_ps(x); }
    static F ToFloat(V v) { return _mm256_cvtepi32_ps(v); }
    static F FAdd(F a, F b) { return _mm256_add_ps(a, b); }
    static F FSub(F a, F b) { return _mm256_sub_ps(a, b); }
    static F FMul(F a, F b) { return _mm256_mul_ps(a, b); }
    static V RoundToInt(F f) { return _mm256_cvtps_epi32(f); }  // nearest, ties to even
    // Lanes hold values 0..255: they go to 8 consecutive bytes.
    static void StoreBytes(V v, uint8_t* dst) {
        V w = _mm256_packs_epi32(v, v);  // within each 128-bit half
        w = _mm256_packus_epi16(w, w);
        w = _mm256_permutevar8x32_epi32(w, _mm256_setr_epi32(0, 4, 0, 4, 0, 4, 0, 4));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm256_castsi256_si128(w));
    }
    // The palette of row, or of the average of row and below. Where the
    // palette is grey (red = green = the shade, fourth byte 0; checked by the
    // scratch) 32 shades at a time: blue from 16 byte shuffles of 16-entry
    // tables, one per high nibble, chosen by a tree of blends on bits 4..7;
    // else gathered 8 at a time. Where blue is also round(sqrt(255 shade))
    // in floats (checked by the scratch too), three of every four 32 shades
    // take the square root instead: the two ways run on different units, and
    // side by side take three quarters of the time of the shuffles alone.
    struct PaletteRows {
        static constexpr int kChunk = 32;
        alignas(32) uint8_t blue[16][32];  // blue of shades 16 h .. 16 h + 15, in both 128-bit halves
        bool grey, root;

        explicit PaletteRows(const BandTables& tables) : grey(tables.palette_grey), root(tables.palette_root) {
            if (!grey) return;
            for (int i = 0; i < kPaletteSize; ++i) blue[i / 16][i % 16] = blue[i / 16][16 + i % 16] =
                static_cast<uint8_t>(Palette[i]);
        }

        static V AverageDown(V a, V b) {
            const V half_diff = _mm256_and_si256(_mm256_srli_epi16(_mm256_xor_si256(a, b), 1), _mm256_set1_epi8(0x7F));
            return _mm256_add_epi8(_mm256_and_si256(a, b), half_diff);
        }

        NOISE_FAST_INLINE V Blue(V shades) const {
            const V low = _mm256_and_si256(shades, _mm256_set1_epi8(0x0F));
            // Bit 4 + n of each shade moved to bit 7 (16-bit shifts: bit 7 of each byte comes from its own bits).
            const V bit4 = _mm256_slli_epi16(shades, 3), bit5 = _mm256_slli_epi16(shades, 2);
            const V bit6 = _mm256_slli_epi16(shades, 1);
            auto look = [&](int h) {
                return _mm256_shuffle_epi8(_mm256_load_si256(reinterpret_cast<const __m256i*>(blue[h])), low);
            };
            V level1[8];
            for (int h = 0; h < 8; ++h) level1[h] = _mm256_blendv_epi8(look(2 * h), look(2 * h + 1), bit4);
            V level2[4];
            for (int h = 0; h < 4; ++h) level2[h] = _mm256_blendv_epi8(level1[2 * h], level1[2 * h + 1], bit5);
            const V level3a = _mm256_blendv_epi8(level2[0], level2[1], bit6);
            const V level3b = _mm256_blendv_epi8(level2[2], level2[3], bit6);
            return _mm256_blendv_epi8(level3a, level3b, shades);
        }

        // Pixels of 8 grey shades (lanes 0..255) with blue by square root.
        static V RootPixels(V shades) {
            const __m256 scaled = _mm256_mul_ps(_mm256_cvtepi32_ps(shades), _mm256_set1_ps(255.0f));
            const V b = _mm256_cvtps_epi32(_mm256_sqrt_ps(scaled));  // PaletteBlueByRoot
            return _mm256_or_si256(_mm256_mullo_epi32(shades, _mm256_set1_epi32(0x10100)), b);
        }

        void Row(const uint8_t* row, const uint8_t* below, int width, uint32_t* out, uint8_t* odd_row) const {
            RowOf<false>(row, below, width, out, odd_row);
        }
        // The same, from out's first 32-byte boundary on by streaming stores.
        void StreamRow(const uint8_t* row, const uint8_t* below, int width, uint32_t* out, uint8_t* odd_row) const {
            RowOf<true>(row, below, width, out, odd_row);
        }

        template <bool kStream>
        void RowOf(const uint8_t* row, const uint8_t* below, int width, uint32_t* out, uint8_t* odd_row) const {
            auto store = [](uint32_t* to, V v) NOISE_FAST_LAMBDA {
                if (kStream) {
                    _mm256_stream_si256(reinterpret_cast<__m256i*>(to), v);
                } else {
                    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), v);
                }
            };
            // 32 pixels from c on, blue by the shuffles.
            auto shuffled = [&](int c) NOISE_FAST_LAMBDA {
                V shades = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + c));
                if (below != nullptr) {
                    shades = AverageDown(shades, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(below + c)));
                }
                const V b = Blue(shades);
                const V zero = _mm256_setzero_si256();
                const V blue_green_low = _mm256_unpacklo_epi8(b, shades);
                const V blue_green_high = _mm256_unpackhi_epi8(b, shades);
                const V red_top_low = _mm256_unpacklo_epi8(shades, zero);
                const V red_top_high = _mm256_unpackhi_epi8(shades, zero);
                // Within each 128-bit half: pixels 0..3, 4..7, 8..11, 12..15 of that half.
                const V p0 = _mm256_unpacklo_epi16(blue_green_low, red_top_low);
                const V p1 = _mm256_unpackhi_epi16(blue_green_low, red_top_low);
                const V p2 = _mm256_unpacklo_epi16(blue_green_high, red_top_high);
                const V p3 = _mm256_unpackhi_epi16(blue_green_high, red_top_high);
                store(out + c, _mm256_permute2x128_si256(p0, p1, 0x20));
                store(out + c + 8, _mm256_permute2x128_si256(p2, p3, 0x20));
                store(out + c + 16, _mm256_permute2x128_si256(p0, p1, 0x31));
                store(out + c + 24, _mm256_permute2x128_si256(p2, p3, 0x31));
            };
            // 8 pixels from c on, blue by the square root.
            auto rooted = [&](int c) NOISE_FAST_LAMBDA {
                V shades = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + c)));
                if (below != nullptr) {
                    const V under = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(below + c)));
                    shades = _mm256_srli_epi32(_mm256_add_epi32(shades, under), 1);
                }
                store(out + c, RootPixels(shades));
            };
            int c = 0;
            if (kStream) {
                for (; c < width && reinterpret_cast<uintptr_t>(out + c) % sizeof(V) != 0; ++c) {
                    out[c] = Palette[below != nullptr ? (row[c] + below[c]) >> 1 : row[c]];
                }
            }
            if (grey && root) {
                for (; c + 4 * kChunk <= width; c += 4 * kChunk) {
                    shuffled(c);
                    for (int k = kChunk; k < 4 * kChunk; k += kLanes) rooted(c + k);
                }
            }
            if (grey) {
                for (; c + kChunk <= width; c += kChunk) shuffled(c);
            }
            if (c < width && below != nullptr) {
                AverageRow(row + c, below + c, width - c, odd_row + c);
                row = odd_row;
            }
            const auto* palette = reinterpret_cast<const int*>(Palette);
            for (; c + kLanes <= width; c += kLanes) {
                const V index = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + c)));
                store(out + c, _mm256_i32gather_epi32(palette, index, 4));
            }
            for (; c < width; ++c) out[c] = Palette[row[c]];
        }
    };

    static void Convert(const uint8_t* bytes, uint32_t* pixels) {
        const auto* palette = reinterpret_cast<const int*>(Palette);
        for (int r = 0; r < H; ++r) {
            const uint8_t* row = bytes + r * kByteStride;
            uint32_t* out = pixels + r * W;
            for (int c = 0; c < W; c += kLanes) {
                const V index =
                    _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + c)));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + c),
                                    _mm256_i32gather_epi32(palette, index, 4));
            }
        }
    }
};

// Gathers are slow: the stripes' sizes are computed.
struct Avx2::Stripes : PolynomialStripes<Avx2> {
    using PolynomialStripes::PolynomialStripes;
};

}  // namespace

void RenderFrameAvx2(uint32_t t, uint8_t* byte_image, uint32_t* pixels) {
    RenderFrameFast<Avx2>(t, byte_image, pixels);
}

const BandKernel kBandKernelAvx2 = MakeBandKernel<Avx2>();
