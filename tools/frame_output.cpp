// Raw and PPM encoding of frames, and the picture's rows as RGB triples.
#include "tools/frame_output.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <bit>
#include <cstdio>
#include <cstring>

#include "render/render_path.h"

namespace {

constexpr int kMaxPpmHeaderBytes = 32;  // "P6\n16384 16384\n255\n" and its NUL, with room to spare

// The PPM header of a frame, "P6\nW H\n255\n"; returns its length.
int PpmHeader(const FrameShape& shape, char (&text)[kMaxPpmHeaderBytes]) {
    return std::snprintf(text, sizeof text, "P6\n%d %d\n255\n", shape.width, shape.height);
}

// One pixel 0x00RRGGBB to three bytes R G B.
inline void PixelRgb(uint32_t p, uint8_t* rgb) {
    rgb[0] = static_cast<uint8_t>(p >> 16);
    rgb[1] = static_cast<uint8_t>(p >> 8);
    rgb[2] = static_cast<uint8_t>(p);
}

// Four pixels to twelve bytes R G B: the byte-swapped pixel, shifted down a
// byte, holds R, G, B in memory order.
inline void FourPixelsRgb(const uint32_t* p, uint8_t* rgb) {
    const uint32_t a = __builtin_bswap32(p[0]) >> 8, b = __builtin_bswap32(p[1]) >> 8;
    const uint32_t c = __builtin_bswap32(p[2]) >> 8, d = __builtin_bswap32(p[3]) >> 8;
    const uint32_t words[3] = {a | b << 24, b >> 8 | c << 16, c >> 16 | d << 8};
    std::memcpy(rgb, words, sizeof words);
}

// The pixels from x on, four at a time and then one by one.
void RowRgbFrom(const uint32_t* row, int x, int width, uint8_t* rgb) {
    for (; x + 4 <= width; x += 4) FourPixelsRgb(row + x, rgb + 3 * x);
    for (; x < width; ++x) PixelRgb(row[x], rgb + 3 * x);
}

void RowRgbScalar(const uint32_t* row, int width, uint8_t* rgb) { RowRgbFrom(row, 0, width, rgb); }

#if defined(__x86_64__) || defined(__i386__)
// Sixteen bytes in, twelve out per step; each store spills four bytes that
// the next step overwrites, so a step runs only while those four bytes lie
// within the row (3x + 16 <= 3 width) and the last pixels go the scalar way.
__attribute__((target("ssse3"))) void RowRgbSsse3(const uint32_t* row, int width, uint8_t* rgb) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    int x = 0;
    for (; x + 6 <= width; x += 4) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb + 3 * x), _mm_shuffle_epi8(four, order));
    }
    RowRgbFrom(row, x, width, rgb);
}
#endif

using RowRgbFunction = void (*)(const uint32_t*, int, uint8_t*);

// The render path's one instruction-set decision serves here too: every CPU
// with the AVX2 or AVX-512 path has SSSE3.
RowRgbFunction PickRowRgb() {
#if defined(__x86_64__) || defined(__i386__)
    if (BestRenderPath() == RenderPath::kAvx2 || BestRenderPath() == RenderPath::kAvx512) return RowRgbSsse3;
#endif
    return RowRgbScalar;
}

const RowRgbFunction kRowRgb = PickRowRgb();

size_t Width(const FrameShape& shape) { return static_cast<size_t>(shape.width); }

}  // namespace

size_t FramePixels(const FrameShape& shape) { return Width(shape) * static_cast<size_t>(shape.height); }

size_t RawFrameBytes(const FrameShape& shape) { return 4 * FramePixels(shape); }

void EncodeRaw(const FrameShape& shape, const uint32_t* pixels, std::vector<uint8_t>* out) {
    const size_t start = out->size();
    const size_t count = FramePixels(shape);
    out->resize(start + 4 * count);
    uint8_t* bytes = out->data() + start;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(bytes, pixels, 4 * count);  // memory order is the format
    } else {
        for (size_t k = 0; k < count; ++k) {
            const uint32_t p = pixels[k];
            for (int b = 0; b < 4; ++b) *bytes++ = static_cast<uint8_t>(p >> (8 * b));
        }
    }
}

void PictureRowRgb(const FrameShape& shape, const uint32_t* pixels, int y, uint8_t* rgb) {
    // The top of the picture is the last bitmap row.
    kRowRgb(pixels + static_cast<size_t>(shape.height - 1 - y) * Width(shape), shape.width, rgb);
}

void PictureRgb(const FrameShape& shape, const uint32_t* pixels, uint8_t* rgb) {
    const size_t row_bytes = 3 * Width(shape);
    for (int y = 0; y < shape.height; ++y) PictureRowRgb(shape, pixels, y, rgb + row_bytes * static_cast<size_t>(y));
}

size_t PpmFrameBytes(const FrameShape& shape) {
    char header[kMaxPpmHeaderBytes];
    return static_cast<size_t>(PpmHeader(shape, header)) + 3 * FramePixels(shape);
}

void EncodePpmInto(const FrameShape& shape, const uint32_t* pixels, uint8_t* ppm) {
    char header[kMaxPpmHeaderBytes];
    const auto length = static_cast<size_t>(PpmHeader(shape, header));
    std::memcpy(ppm, header, length);
    PictureRgb(shape, pixels, ppm + length);
}
