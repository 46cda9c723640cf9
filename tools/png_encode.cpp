// PNG encoding of a frame through stb_image_write, compiled here privately
// (static functions, no stdio file variants).
#include <cstdint>
#include <vector>

#include "tools/frame_output.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace {

void AppendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

bool EncodePng(const uint32_t* pixels, std::vector<uint8_t>* out) {
    constexpr int kChannels = 3;
    std::vector<uint8_t> rgb(static_cast<size_t>(kChannels) * kPixelCount);
    PictureRgb(pixels, rgb.data());
    return stbi_write_png_to_func(AppendBytes, out, W, H, kChannels, rgb.data(), kChannels * W) != 0;
}
