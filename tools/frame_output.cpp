// Raw and PPM encoding of frames.
#include "tools/frame_output.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <bit>
#include <cstring>

#include "render/render_path.h"

namespace {

// Four pixels 0x00RRGGBB to twelve bytes R G B: the byte-swapped pixel,
// shifted down a byte, holds R, G, B in memory order.
inline void FourPixelsRgb(const uint32_t* p, uint8_t* rgb) {
    const uint32_t a = __builtin_bswap32(p[0]) >> 8, b = __builtin_bswap32(p[1]) >> 8;
    const uint32_t c = __builtin_bswap32(p[2]) >> 8, d = __builtin_bswap32(p[3]) >> 8;
    const uint32_t words[3] = {a | b << 24, b >> 8 | c << 16, c >> 16 | d << 8};
    std::memcpy(rgb, words, sizeof words);
}

void RowRgbScalar(const uint32_t* row, uint8_t* rgb) {
    for (int x = 0; x < W; x += 4) FourPixelsRgb(row + x, rgb + 3 * x);
}

#if defined(__x86_64__) || defined(__i386__)
// Sixteen bytes in, twelve out per step; each store spills four bytes that
// the next step overwrites, so the last four pixels of a row go the scalar way.
__attribute__((target("ssse3"))) void RowRgbSsse3(const uint32_t* row, uint8_t* rgb) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    int x = 0;
    for (; x + 4 < W; x += 4) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb + 3 * x), _mm_shuffle_epi8(four, order));
    }
    FourPixelsRgb(row + x, rgb + 3 * x);
}
#endif

using RowRgbFunction = void (*)(const uint32_t*, uint8_t*);

// The render path's one instruction-set decision serves here too: every CPU
// with the AVX2 or AVX-512 path has SSSE3.
RowRgbFunction PickRowRgb() {
#if defined(__x86_64__) || defined(__i386__)
    if (BestRenderPath() == RenderPath::kAvx2 || BestRenderPath() == RenderPath::kAvx512) return RowRgbSsse3;
#endif
    return RowRgbScalar;
}

const RowRgbFunction kRowRgb = PickRowRgb();

}  // namespace

static_assert(W % 4 == 0, "rows convert four pixels at a time");

void EncodeRaw(const uint32_t* pixels, std::vector<uint8_t>* out) {
    const size_t start = out->size();
    out->resize(start + kRawFrameBytes);
    uint8_t* bytes = out->data() + start;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(bytes, pixels, kRawFrameBytes);  // memory order is the format
    } else {
        for (int k = 0; k < kPixelCount; ++k) {
            const uint32_t p = pixels[k];
            for (int b = 0; b < 4; ++b) *bytes++ = static_cast<uint8_t>(p >> (8 * b));
        }
    }
}

void PictureRgb(const uint32_t* pixels, uint8_t* rgb) {
    for (int y = 0; y < H; ++y) {
        // The top of the picture is the last bitmap row.
        kRowRgb(pixels + (H - 1 - y) * W, rgb + static_cast<size_t>(y) * kRgbRowBytes);
    }
}

void EncodePpmInto(const uint32_t* pixels, uint8_t* ppm) {
    std::memcpy(ppm, kPpmHeader, kPpmHeaderBytes);
    PictureRgb(pixels, ppm + kPpmHeaderBytes);
}

void EncodePpm(const uint32_t* pixels, std::vector<uint8_t>* out) {
    const size_t start = out->size();
    out->resize(start + kPpmFrameBytes);
    EncodePpmInto(pixels, out->data() + start);
}
