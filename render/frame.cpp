// The frame buffers and the plain reference renderer. The render paths and
// the entry points that choose among them sit above this file, in
// render_path.cpp.
#include "render/frame.h"

#include <cstdlib>

#include "noise/noise.h"
#include "render/fill.h"
#include "render/shading.h"

uint32_t* PixelBuffer;
uint8_t* ByteImage;

bool AllocateFrameBuffers() {
    PixelBuffer = static_cast<uint32_t*>(std::calloc(kPixelCount, sizeof(uint32_t)));
    ByteImage = static_cast<uint8_t*>(std::calloc(kByteRows * kByteStride, 1));
    if (PixelBuffer == nullptr || ByteImage == nullptr) {
        FreeFrameBuffers();
        return false;
    }
    return true;
}

void FreeFrameBuffers() {
    std::free(PixelBuffer);
    std::free(ByteImage);
    PixelBuffer = nullptr;
    ByteImage = nullptr;
}


void RenderFramePlain(uint32_t t, uint8_t* byte_image, uint32_t* pixels) {
    const auto z = static_cast<FixedCoord>(t);  // the time value is used directly as a coordinate
    for (int j = 0; j <= H / 2; ++j) {
        uint8_t* row = byte_image + 2 * j * kByteStride;
        for (int i = W / 2; i >= 0; --i) {
            const int32_t m = Turbulence(i * kGridStep, j * kGridStep, z, kOctaves) / 8;
            row[2 * i] = StripeShade(m, 4 * i, 7 * j);
        }
    }
    FillAndConvert(byte_image, pixels);
}
