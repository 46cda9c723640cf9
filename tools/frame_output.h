// Turning a rendered frame into bytes (raw pixels, PPM or PNG).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/frame.h"
#include "tools/frame_args.h"

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

// Appends a PNG (8-bit RGB) of the picture, compressed with libdeflate.
// False when memory is short. Safe to call from several threads at once.
bool EncodePng(const uint32_t* pixels, std::vector<uint8_t>* out);

// Appends the frame in the given format; false only when a PNG cannot be
// encoded for lack of memory.
bool EncodeFrame(FrameFormat format, const uint32_t* pixels, std::vector<uint8_t>* out);
