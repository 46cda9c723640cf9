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
    // Palette look-up of every shade of the frame, 64 at a time, with byte
    // permutes: each palette byte (blue, green, red, fourth) has its own
    // 256-byte plane, looked up as two 128-byte halves chosen by bit 7.
    static void Convert(const uint8_t* bytes, uint32_t* pixels) {
        constexpr int kChunk = 64;
        static_assert(W % kChunk == 0, "rows must split into whole chunks");
        alignas(64) uint8_t planes[4][kPaletteSize];
        for (int i = 0; i < kPaletteSize; i += kLanes) {
            const V entries = _mm512_loadu_si512(Palette + i);
            for (int p = 0; p < 4; ++p) {
                const V shifted = _mm512_maskz_srlv_epi32(kAll, entries, Set1(static_cast<uint32_t>(8 * p)));
                _mm_store_si128(reinterpret_cast<__m128i*>(&planes[p][i]),
                                _mm512_maskz_cvtepi32_epi8(kAll, shifted));
            }
        }
        V table[4][4];
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
        const V reorder = _mm512_load_si512(order);

        for (int r = 0; r < H; ++r) {
            const uint8_t* row = bytes + r * kByteStride;
            uint32_t* out = pixels + r * W;
            for (int c = 0; c < W; c += kChunk) {
                const V index =
                    _mm512_maskz_permutexvar_epi8(~__mmask64{0}, reorder, _mm512_loadu_si512(row + c));
                const __mmask64 upper_half = _mm512_movepi8_mask(index);
                V plane[4];
                for (int p = 0; p < 4; ++p) {
                    const V lower = _mm512_permutex2var_epi8(table[p][0], index, table[p][1]);
                    const V upper = _mm512_permutex2var_epi8(table[p][2], index, table[p][3]);
                    plane[p] = _mm512_mask_blend_epi8(upper_half, lower, upper);
                }
                const V blue_green_low = _mm512_unpacklo_epi8(plane[0], plane[1]);
                const V blue_green_high = _mm512_unpackhi_epi8(plane[0], plane[1]);
                const V red_top_low = _mm512_unpacklo_epi8(plane[2], plane[3]);
                const V red_top_high = _mm512_unpackhi_epi8(plane[2], plane[3]);
                _mm512_storeu_si512(out + c, _mm512_unpacklo_epi16(blue_green_low, red_top_low));
                _mm512_storeu_si512(out + c + 16, _mm512_unpackhi_epi16(blue_green_low, red_top_low));
                _mm512_storeu_si512(out + c + 32, _mm512_unpacklo_epi16(blue_green_high, red_top_high));
                _mm512_storeu_si512(out + c + 48, _mm512_unpackhi_epi16(blue_green_high, red_top_high));
            }
        }
    }
};

}  // namespace

void RenderFrameAvx512(uint32_t t, uint8_t* byte_image, uint32_t* pixels) {
    RenderFrameFast<Avx512>(t, byte_image, pixels);
}
