// The frame's size and buffers and the plain reference renderer: turbulence
// sampled on a half-resolution grid with time as the third axis, bent through
// two sine stripes, averaged up to full size and converted to 32-bit pixels
// through the palette. The faster paths are declared in render/render_path.h.
#pragma once

#include <cstdint>

constexpr int W = 320;              // image width in pixels (even)
constexpr int H = 200;              // image height in pixels (even)
constexpr int kPixelCount = W * H;  // 64,000
constexpr int kByteStride = W + 1;  // ByteImage row length
constexpr int kByteRows = H + 1;    // ByteImage row count
constexpr int kOctaves = 4;         // turbulence octaves per sample
constexpr int kGridStep = 32;       // FixedCoord units between grid samples

// W x H pixels 0x00RRGGBB, pixel (c, r) at r * W + c; row 0 is shown at the
// bottom of the window (a bottom-up bitmap).
extern uint32_t* PixelBuffer;
// (H + 1) x (W + 1) shades, (c, r) at r * kByteStride + c. The extra row and
// column hold the grid's far edge for interpolation.
extern uint8_t* ByteImage;

// Allocates both buffers zero-filled. Returns false, with both left null,
// when memory is short. Called once at start-up.
bool AllocateFrameBuffers();
void FreeFrameBuffers();

// The plain reference render of time value t into byte_image (kByteRows *
// kByteStride bytes) and pixels (kPixelCount): Turbulence at every grid
// point. Every path of render/render_path.h gives the same output, bit for bit.
void RenderFramePlain(uint32_t t, uint8_t* byte_image, uint32_t* pixels);
