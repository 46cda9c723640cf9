// The vector frame renderer with WebAssembly SIMD128, the browser's one
// vector instruction set. Four lanes: 4 columns of one row.
#include <wasm_simd128.h>

#include "render/fill.h"
#include "render/path_entries.h"
#include "render/path_kernel.h"

namespace {

struct Simd128 {
    using V = v128_t;
    static constexpr int kLanes = 4;

    static V Zero() { return wasm_i32x4_splat(0); }
    static V Set1(uint32_t x) { return wasm_u32x4_splat(x); }
    static V Add(V a, V b) { return wasm_i32x4_add(a, b); }
    static V Sub(V a, V b) { return wasm_i32x4_sub(a, b); }
    static V And(V a, V b) { return wasm_v128_and(a, b); }
    static V Or(V a, V b) { return wasm_v128_or(a, b); }
    static V Xor(V a, V b) { return wasm_v128_xor(a, b); }
    static V Mul(V a, V b) { return wasm_i32x4_mul(a, b); }  // low 32 bits of each product
    static V AbsLanes(V a) { return wasm_i32x4_abs(a); }
    // Pairs of signed 16-bit products summed into 32 bits, as SSE2's pmaddwd.
    static V Madd16(V a, V b) { return wasm_i32x4_dot_i16x8(a, b); }
    template <int N>
    static V Sll(V a) {
        return wasm_i32x4_shl(a, N);
    }
    template <int N>
    static V Srl(V a) {
        return wasm_u32x4_shr(a, N);
    }
    template <int N>
    static V Sra(V a) {
        return wasm_i32x4_shr(a, N);
    }
    // Four consecutive column values.
    static V Columns(const uint32_t* p) { return wasm_v128_load(p); }
    // The value of the block's one row in every lane.
    static V Rows(const uint32_t* p) { return Set1(p[0]); }
    // SIMD128 has no gather: four scalar loads.
    static V Gather(const int32_t* table, V index) {
        return wasm_i32x4_make(
            table[wasm_i32x4_extract_lane(index, 0)], table[wasm_i32x4_extract_lane(index, 1)],
            table[wasm_i32x4_extract_lane(index, 2)], table[wasm_i32x4_extract_lane(index, 3)]);
    }
    // Lanes hold values 0..255: they go to 4 consecutive grid bytes.
    static void StoreBlock(V v, uint8_t* dst, int /*stride*/) {
        const V bytes = wasm_i8x16_shuffle(v, v, 0, 4, 8, 12, 0, 4, 8, 12, 0, 4, 8, 12, 0, 4, 8, 12);
        wasm_v128_store32_lane(dst, bytes, 0);
    }
    static void Convert(const uint8_t* bytes, uint32_t* pixels) { ConvertToPixels(bytes, pixels); }

    // For frames of any size.
    // lo's low 16 bits times w's, plus hi's high 16 bits times w's.
    static V PairMadd(V lo, V hi, V w) { return Madd16(PairWords(lo, hi), w); }
    // Products with a factor below 2^16 (made by U16 or U16s): a plain multiply here.
    static V U16(uint32_t c) { return Set1(c); }
    static V U16s(V v) { return v; }
    static V MulU16(V a, V u16) { return Mul(a, u16); }
    static V AddIfNegative(V x, V b) { return Add(x, And(Sra<31>(x), b)); }
    struct Stripes;
    static V Load(const int32_t* p) { return wasm_v128_load(p); }
    static void Store(int32_t* p, V v) { wasm_v128_store(p, v); }
    // Lanes first.. of fresh, the others of old.
    static V KeepFrom(V old, V fresh, int first) {
        const V mask = wasm_i32x4_gt(wasm_i32x4_make(0, 1, 2, 3), wasm_i32x4_splat(first - 1));
        return wasm_v128_bitselect(fresh, old, mask);
    }
    // The low 16 bits of each lane of lo, the high 16 of hi.
    static V PairWords(V lo, V hi) { return wasm_i16x8_shuffle(lo, hi, 0, 9, 2, 11, 4, 13, 6, 15); }
    static V MulSmall(V a, V b) { return Mul(a, b); }
    static void StoreBytes(V v, uint8_t* dst) { StoreBlock(v, dst, 0); }
    using PaletteRows = FourShadePalette<Simd128>;
};

struct Simd128::Stripes : GatheredStripes<Simd128> {
    using GatheredStripes::GatheredStripes;
};

}  // namespace

void RenderFrameSimd128(uint32_t t, uint8_t* byte_image, uint32_t* pixels) {
    RenderFrameFast<Simd128>(t, byte_image, pixels);
}

const BandKernel kBandKernelSimd128 = MakeBandKernel<Simd128>();
