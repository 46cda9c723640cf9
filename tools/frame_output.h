// Turning a rendered frame into bytes (raw pixels, PPM or PNG).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/frame.h"
#include "tools/frame_args.h"

constexpr size_t kRawFrameBytes = 4 * static_cast<size_t>(kPixelCount);  // 256,000

// Appends the W x H pixels (0x00RRGGBB, row 0 first) as little-endian 32-bit
// values in memory order.
void EncodeRaw(const uint32_t* pixels, std::vector<uint8_t>* out);

// Writes the picture as a person sees the window: W x H RGB triples, top
// row first, which is pixel row H-1 (the bitmap is bottom-up). rgb holds
// 3 * kPixelCount bytes.
void PictureRgb(const uint32_t* pixels, uint8_t* rgb);

// Appends a binary PPM (P6, maxval 255) of the picture.
void EncodePpm(const uint32_t* pixels, std::vector<uint8_t>* out);

// Appends a PNG (8-bit RGB) of the picture. False when memory is short.
bool EncodePng(const uint32_t* pixels, std::vector<uint8_t>* out);

// Appends the frame in the given format; false only when a PNG cannot be
// encoded for lack of memory.
bool EncodeFrame(FrameFormat format, const uint32_t* pixels, std::vector<uint8_t>* out);
