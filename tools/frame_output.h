// Turning a rendered frame into bytes (raw pixels, PPM or PNG).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "render/frame.h"

constexpr size_t kRawFrameBytes = 4 * static_cast<size_t>(kPixelCount);  // 256,000
constexpr size_t kRgbRowBytes = 3 * static_cast<size_t>(W);
constexpr char kPpmHeader[] = "P6\n320 200\n255\n";
constexpr size_t kPpmHeaderBytes = sizeof kPpmHeader - 1;
constexpr size_t kPpmFrameBytes = kPpmHeaderBytes + 3 * static_cast<size_t>(kPixelCount);
static_assert(W == 320 && H == 200, "kPpmHeader names the frame size");

// Appends the W x H pixels (0x00RRGGBB, row 0 first) as little-endian 32-bit
// values in memory order.
void EncodeRaw(const uint32_t* pixels, std::vector<uint8_t>* out);

// Writes the picture as a person sees the window: W x H RGB triples, top
// row first, which is pixel row H-1 (the bitmap is bottom-up). rgb holds
// 3 * kPixelCount bytes.
void PictureRgb(const uint32_t* pixels, uint8_t* rgb);

// Appends a binary PPM (P6, maxval 255) of the picture. PPM images one
// after another form a PPM stream.
void EncodePpm(const uint32_t* pixels, std::vector<uint8_t>* out);

// The same PPM written into ppm, which holds kPpmFrameBytes.
void EncodePpmInto(const uint32_t* pixels, uint8_t* ppm);

// PNG (8-bit RGB) encoding with libdeflate, with its own scratch buffers
// and compressor: one encoder per thread. The constructor throws
// std::bad_alloc when memory is short.
class PngEncoder {
  public:
    PngEncoder();
    ~PngEncoder();
    PngEncoder(const PngEncoder&) = delete;
    PngEncoder& operator=(const PngEncoder&) = delete;

    // The most bytes one Encode appends.
    size_t MaxBytes() const;

    // Appends a PNG of the picture; allocates nothing when `out` has
    // MaxBytes() to spare. False only if compression fails.
    bool Encode(const uint32_t* pixels, std::vector<uint8_t>* out);

  private:
    struct Scratch;
    std::unique_ptr<Scratch> scratch_;
};
