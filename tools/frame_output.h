// Turning a rendered frame of any shape into bytes: raw pixels, PPM or PNG.
// Pixels are 0x00RRGGBB, row 0 first in memory and the bottom of the
// picture; the images show the picture right side up, top row first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "render/frame_shape.h"

// Pixels of a frame, and bytes of its raw form (four per pixel).
size_t FramePixels(const FrameShape& shape);
size_t RawFrameBytes(const FrameShape& shape);

// Appends the pixels as little-endian 32-bit values in memory order, the raw
// format. (On a little-endian machine the pixels already are that.)
void EncodeRaw(const FrameShape& shape, const uint32_t* pixels, std::vector<uint8_t>* out);

// Writes picture row y (0 is the top, which is pixel row height - 1) as
// width RGB triples into rgb.
void PictureRowRgb(const FrameShape& shape, const uint32_t* pixels, int y, uint8_t* rgb);

// The whole picture as RGB triples, top row first: 3 * width * height bytes.
void PictureRgb(const FrameShape& shape, const uint32_t* pixels, uint8_t* rgb);

// Bytes of a binary PPM (P6, maxval 255) of the picture, header included.
// PPM images one after another form a PPM stream.
size_t PpmFrameBytes(const FrameShape& shape);

// Writes the PPM into ppm, which holds PpmFrameBytes(shape).
void EncodePpmInto(const FrameShape& shape, const uint32_t* pixels, uint8_t* ppm);

// PNG (8-bit RGB) encoding with libdeflate of frames of one shape, with its
// own scratch space and compressor: one encoder per thread. The constructor
// throws std::bad_alloc when memory is short.
class PngEncoder {
  public:
    explicit PngEncoder(const FrameShape& shape);
    ~PngEncoder();
    PngEncoder(const PngEncoder&) = delete;
    PngEncoder& operator=(const PngEncoder&) = delete;

    // The most bytes one Encode of a frame of shape appends.
    static size_t MaxBytes(const FrameShape& shape);

    // The bytes an encoder for shape holds besides the PNG it appends.
    static size_t ScratchBytes(const FrameShape& shape);

    // Appends a PNG of the picture; allocates nothing when `out` has
    // MaxBytes to spare. False only if compression fails.
    bool Encode(const uint32_t* pixels, std::vector<uint8_t>* out);

  private:
    struct Scratch;
    std::unique_ptr<Scratch> scratch_;
};
