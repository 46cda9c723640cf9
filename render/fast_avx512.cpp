// The vector frame renderer with AVX-512 (F and BW). Sixteen lanes: 4 columns
// of 4 rows.
#include <immintrin.h>

#include "render/fast_kernel.h"
#include "render/fast_paths.h"

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
    template <int N> static V Sll(V a) { return _mm512_maskz_slli_epi32(kAll, a, N); }
    template <int N> static V Srl(V a) { return _mm512_maskz_srli_epi32(kAll, a, N); }
    template <int N> static V Sra(V a) { return _mm512_maskz_srai_epi32(kAll, a, N); }
    // Four consecutive column values, repeated for all four rows.
    static V Columns(const uint32_t* p) {
        return _mm512_maskz_broadcast_i32x4(kAll, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    // Row p[r] in lanes 4r..4r+3.
    static V Rows(const uint32_t* p) {
        const V rows = _mm512_castsi128_si512(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        return _mm512_maskz_permutexvar_epi32(kAll, _mm512_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3), rows);
    }
    static V Gather(const int32_t* table, V index) { return _mm512_mask_i32gather_epi32(Zero(), kAll, index, table, 4); }
    static void StoreBlock(V v, uint8_t* dst, int stride) {
        alignas(16) uint32_t rows[4]; // lanes 4r..4r+3 narrowed to bytes: row r
        _mm_store_si128(reinterpret_cast<__m128i*>(rows), _mm512_maskz_cvtepi32_epi8(kAll, v));
        for (int r = 0; r < 4; ++r) __builtin_memcpy(dst + r * stride, &rows[r], sizeof rows[r]);
    }
    static void ConvertRow(const uint8_t* shades, uint32_t* pixels) {
        for (int c = 0; c < W; c += kLanes) {
            const V index = _mm512_maskz_cvtepu8_epi32(kAll, _mm_loadu_si128(reinterpret_cast<const __m128i*>(shades + c)));
            _mm512_storeu_si512(pixels + c, _mm512_mask_i32gather_epi32(Zero(), kAll, index, Palette, 4));
        }
    }
};

alignas(64) uint8_t SampleGridBuffer[kGridRowsPadded * kGridStride];

} // namespace

void RenderFrameAvx512(uint32_t t) { RenderFrameFast<Avx512>(t, SampleGridBuffer); }
