// The vector frame renderer with SSE2, the baseline every x86-64 and every
// supported 32-bit Windows machine runs. Four lanes: 4 columns of one row.
#include <emmintrin.h>

#include "render/path_kernel.h"
#include "render/path_entries.h"
#include "render/fill.h"

namespace {

struct Sse2 {
    using V = __m128i;
    static constexpr int kLanes = 4;

    static V Zero() { return _mm_setzero_si128(); }
    static V Set1(uint32_t x) { return _mm_set1_epi32(static_cast<int>(x)); }
    static V Add(V a, V b) { return _mm_add_epi32(a, b); }
    static V Sub(V a, V b) { return _mm_sub_epi32(a, b); }
    static V And(V a, V b) { return _mm_and_si128(a, b); }
    static V Or(V a, V b) { return _mm_or_si128(a, b); }
    static V Xor(V a, V b) { return _mm_xor_si128(a, b); }
    // Low 32 bits of each product from two 32 x 32 -> 64-bit multiplies.
    static V Mul(V a, V b) {
        const V even = _mm_mul_epu32(a, b);
        const V odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
        return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                                  _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
    }
    static V Madd16(V a, V b) { return _mm_madd_epi16(a, b); }
    template <int N>
    static V Sll(V a) {
        return _mm_slli_epi32(a, N);
    }
    template <int N>
    static V Srl(V a) {
        return _mm_srli_epi32(a, N);
    }
    template <int N>
    static V Sra(V a) {
        return _mm_srai_epi32(a, N);
    }
    // Four consecutive column values.
    static V Columns(const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    // The value of the block's one row in every lane.
    static V Rows(const uint32_t* p) { return Set1(p[0]); }
    static V Gather(const int32_t* table, V index) {
        alignas(16) int32_t k[kLanes];
        _mm_store_si128(reinterpret_cast<__m128i*>(k), index);
        return _mm_setr_epi32(table[k[0]], table[k[1]], table[k[2]], table[k[3]]);
    }
    // Lanes hold values 0..255: they go to 4 consecutive grid bytes.
    static void StoreBlock(V v, uint8_t* dst, int /*stride*/) {
        V w = _mm_packs_epi32(v, v);
        w = _mm_packus_epi16(w, w);
        const auto bytes = static_cast<uint32_t>(_mm_cvtsi128_si32(w));
        __builtin_memcpy(dst, &bytes, sizeof bytes);
    }
    // SSE2 has no gather: the plain palette pass.
    static void Convert(const uint8_t* bytes, uint32_t* pixels) { ConvertToPixels(bytes, pixels); }

    // For frames of any size.
    // lo's low 16 bits times w's, plus hi's high 16 bits times w's: two
    // multiply-adds against halves of w, cheaper than pairing the words first.
    static V PairMadd(V lo, V hi, V w) {
        return _mm_add_epi32(_mm_madd_epi16(lo, _mm_and_si128(w, _mm_set1_epi32(0xFFFF))),
                             _mm_madd_epi16(hi, _mm_andnot_si128(_mm_set1_epi32(0xFFFF), w)));
    }
    // Products with a factor u below 2^16, held in both 16-bit halves of its
    // lane (U16, U16s): a * u = lo16(al u) + (hi16(al u) + lo16(ah u)) << 16
    // for the halves al, ah of a, in four instructions instead of Mul's six.
    static constexpr bool kEmulatedMul = true;
    static V U16(uint32_t c) { return Set1(c | c << 16); }
    static V U16s(V v) { return _mm_or_si128(v, _mm_slli_epi32(v, 16)); }
    static V MulU16(V a, V u16) {
        return _mm_add_epi32(_mm_mullo_epi16(a, u16), _mm_slli_epi32(_mm_mulhi_epu16(a, u16), 16));
    }
    static V AddIfNegative(V x, V b) { return Add(x, And(Sra<31>(x), b)); }
    struct Stripes;
    static V Load(const int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void Store(int32_t* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    // Lanes first.. of fresh, the others of old.
    static V KeepFrom(V old, V fresh, int first) {
        const V mask = _mm_cmpgt_epi32(_mm_setr_epi32(0, 1, 2, 3), _mm_set1_epi32(first - 1));
        return _mm_or_si128(_mm_and_si128(mask, fresh), _mm_andnot_si128(mask, old));
    }
    // Products of values of at most 16 bits whose product fits in 32 (the
    // sine values): one 16-bit multiply-add with b's high half cleared.
    static V MulSmall(V a, V b) { return _mm_madd_epi16(a, _mm_and_si128(b, _mm_set1_epi32(0xFFFF))); }
    static void StoreBytes(V v, uint8_t* dst) { StoreBlock(v, dst, 0); }
    // Single precision lanes, for the stripes' sizes (PolynomialStripes).
    using F = __m128;
    static F FSet1(float x) { return _mm_set1_ps(x); }
    static F ToFloat(V v) { return _mm_cvtepi32_ps(v); }
    static F FAdd(F a, F b) { return _mm_add_ps(a, b); }
    static F FSub(F a, F b) { return _mm_sub_ps(a, b); }
    static F FMul(F a, F b) { return _mm_mul_ps(a, b); }
    static V RoundToInt(F f) { return _mm_cvtps_epi32(f); }  // nearest, ties to even
    using PaletteRows = FourShadePalette<Sse2>;
};

// SSE2 has no gather: the stripes' sizes are computed.
struct Sse2::Stripes : PolynomialStripes<Sse2> {
    using PolynomialStripes::PolynomialStripes;
};

}  // namespace

void RenderFrameSse2(uint32_t t, uint8_t* byte_image, uint32_t* pixels) {
    RenderFrameFast<Sse2>(t, byte_image, pixels);
}

const BandKernel kBandKernelSse2 = MakeBandKernel<Sse2>();
