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
    // Products with a factor below 2^16 (made by U16 or U16s): a plain multiply here.
    static V U16(uint32_t c) { return Set1(c); }
    static V U16s(V v) { return v; }
    static V MulU16(V a, V u16) { return Mul(a, u16); }
    static V AddIfNegative(V x, V b) { return Add(x, And(Sra<31>(x), b)); }
    struct Stripes;
    static V RowMask(uint32_t all_or_none) { return Set1(all_or_none); }
    static V AddIf(V a, V b, V mask) { return Add(a, And(b, mask)); }
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
    // Lanes hold values 0..255: they go to 8 consecutive bytes.
    static void StoreBytes(V v, uint8_t* dst) {
        V w = _mm256_packs_epi32(v, v);  // within each 128-bit half
        w = _mm256_packus_epi16(w, w);
        w = _mm256_permutevar8x32_epi32(w, _mm256_setr_epi32(0, 4, 0, 4, 0, 4, 0, 4));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm256_castsi256_si128(w));
    }
    // The palette of row, or of the average of row and below (through odd_row).
    struct PaletteRows {
        explicit PaletteRows(const BandTables& /*tables*/) {}
        static void Row(const uint8_t* row, const uint8_t* below, int width, uint32_t* out, uint8_t* odd_row) {
            if (below != nullptr) {
                AverageRow(row, below, width, odd_row);
                row = odd_row;
            }
            const auto* palette = reinterpret_cast<const int*>(Palette);
            int c = 0;
            for (; c + kLanes <= width; c += kLanes) {
                const V index = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + c)));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + c), _mm256_i32gather_epi32(palette, index, 4));
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

struct Avx2::Stripes : GatheredStripes<Avx2> {
    using GatheredStripes::GatheredStripes;
};

}  // namespace

void RenderFrameAvx2(uint32_t t, uint8_t* byte_image, uint32_t* pixels) {
    RenderFrameFast<Avx2>(t, byte_image, pixels);
}

const BandKernel kBandKernelAvx2 = MakeBandKernel<Avx2>();
