// Raw and PPM encoding of frames.
#include "tools/frame_output.h"

#include <cstdio>

void EncodeRaw(const uint32_t* pixels, std::vector<uint8_t>* out) {
    out->reserve(out->size() + kRawFrameBytes);
    for (int k = 0; k < kPixelCount; ++k) {
        const uint32_t p = pixels[k];
        out->push_back(static_cast<uint8_t>(p));
        out->push_back(static_cast<uint8_t>(p >> 8));
        out->push_back(static_cast<uint8_t>(p >> 16));
        out->push_back(static_cast<uint8_t>(p >> 24));
    }
}

void PictureRgb(const uint32_t* pixels, uint8_t* rgb) {
    for (int y = 0; y < H; ++y) {
        const uint32_t* row = pixels + (H - 1 - y) * W;  // top of the picture is the last bitmap row
        for (int x = 0; x < W; ++x) {
            const uint32_t p = row[x];
            *rgb++ = static_cast<uint8_t>(p >> 16);  // red
            *rgb++ = static_cast<uint8_t>(p >> 8);   // green
            *rgb++ = static_cast<uint8_t>(p);        // blue
        }
    }
}

void EncodePpm(const uint32_t* pixels, std::vector<uint8_t>* out) {
    char header[32];
    const int n = std::snprintf(header, sizeof header, "P6\n%d %d\n255\n", W, H);
    const size_t start = out->size();
    out->insert(out->end(), header, header + n);
    out->resize(out->size() + 3 * static_cast<size_t>(kPixelCount));
    PictureRgb(pixels, out->data() + start + static_cast<size_t>(n));
}

bool EncodeFrame(FrameFormat format, const uint32_t* pixels, std::vector<uint8_t>* out) {
    switch (format) {
        case FrameFormat::kRaw:
            EncodeRaw(pixels, out);
            return true;
        case FrameFormat::kPpm:
            EncodePpm(pixels, out);
            return true;
        case FrameFormat::kPng:
            return EncodePng(pixels, out);
    }
    return false;
}
