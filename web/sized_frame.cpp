// Frames of the size the page asks for (?size=WxH), rendered in the module
// by the band renderer for the WebAssembly engine and handed to the canvas as
// top-down RGBA.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <cstdlib>

#include "render/frame_rows.h"
#include "render/frame_shape.h"

namespace {

// The last size's shape, scratch and two buffers, kept for the next frame.
struct SizedFrame {
    FrameShape shape;
    FrameScratch scratch;
    uint32_t* pixels = nullptr;  // width x height 0x00RRGGBB, row 0 at the bottom
    uint32_t* rgba = nullptr;    // the same pixels as bytes R, G, B, 255, top row first
} sized;

// Makes both buffers width x height pixels. Returns false, with none left,
// when the size is not a frame size or memory is short.
bool PrepareSizedFrame(int width, int height) {
    if (sized.pixels != nullptr && sized.shape.width == width && sized.shape.height == height) return true;
    std::free(sized.pixels);
    std::free(sized.rgba);
    sized.pixels = sized.rgba = nullptr;
    FrameShape shape;
    if (!MakeFrameShape(width, height, &shape)) return false;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * sizeof(uint32_t);
    auto* pixels = static_cast<uint32_t*>(std::malloc(bytes));
    auto* rgba = static_cast<uint32_t*>(std::malloc(bytes));
    if (pixels == nullptr || rgba == nullptr) {
        std::free(pixels);
        std::free(rgba);
        return false;
    }
    sized.shape = shape;
    sized.pixels = pixels;
    sized.rgba = rgba;
    return true;
}

}  // namespace

extern "C" {

// Renders time value t at width x height and returns it as width x height
// RGBA pixels (bytes R, G, B, 255, top row first), valid until the next call;
// null when width x height is not a frame size (render/frame_shape.h) or
// memory is short.
EMSCRIPTEN_KEEPALIVE const uint32_t* WebSizedFrame(int width, int height, uint32_t t) {
    if (!PrepareSizedFrame(width, height)) return nullptr;
    RenderSizedFrame(sized.shape, t, &sized.scratch, sized.pixels);
    for (int r = 0; r < height; ++r) {
        const uint32_t* src = sized.pixels + static_cast<size_t>(height - 1 - r) * static_cast<size_t>(width);
        uint32_t* dst = sized.rgba + static_cast<size_t>(r) * static_cast<size_t>(width);
        for (int c = 0; c < width; ++c) {
            const uint32_t p = src[c];
            dst[c] = 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
        }
    }
    return sized.rgba;
}
}
