// The display seam in a web page: the frame goes to the page's canvas as
// top-down RGBA, the title to the document, zoom to the canvas's CSS size
// (sharp pixels); the page's script supplies the imported functions.
#include <cstdlib>
#include <utility>

#include "loop/display.h"
#include "loop/frame_loop.h"
#include "web/page.h"

namespace {

// The display's state: the frame of the canvas's pixel size, which is
// rendered into and then converted in place, and the zoom the page last
// asked for.
struct PageDisplay {
    bool open = false;
    int width = 0;
    int height = 0;
    uint32_t* frame = nullptr;  // width x height pixels
    int zoom_request = 0;       // 1, 2 or 4 from a key or a control; 0 when none is pending
} display;

// 0x00RRGGBB (bytes B, G, R, 0 in memory) to bytes R, G, B, 255.
inline uint32_t Rgba(uint32_t p) { return 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu); }

// Turns a frame with row 0 at the bottom into RGBA with the top row first,
// in place: rows are swapped pairwise from the outside in, each pixel
// converted once. (With SIMD128 the compiler does four pixels at a time.)
void ToRgbaTopFirst(uint32_t* frame, int width, int height) {
    const auto w = static_cast<size_t>(width);
    for (int top = 0, bottom = height - 1; top <= bottom; ++top, --bottom) {
        uint32_t* __restrict a = frame + static_cast<size_t>(top) * w;
        if (top == bottom) {
            for (size_t c = 0; c < w; ++c) a[c] = Rgba(a[c]);
            break;
        }
        uint32_t* __restrict b = frame + static_cast<size_t>(bottom) * w;
        for (size_t c = 0; c < w; ++c) {
            const uint32_t upper = a[c];
            a[c] = Rgba(b[c]);
            b[c] = Rgba(upper);
        }
    }
}

// Room for a width x height frame, or null.
uint32_t* AllocateFrame(int width, int height) {
    return static_cast<uint32_t*>(std::malloc(static_cast<size_t>(width) * static_cast<size_t>(height) * sizeof(uint32_t)));
}

}  // namespace

bool OpenDisplay(const char* caption, int width, int height, int zoom) {
    if (width <= 0 || height <= 0 || !IsZoomFactor(zoom)) return false;
    if (ResizeDisplayFrame(width, height) == nullptr) return false;
    display.open = true;
    PageZoom(zoom);
    PageTitle(caption);
    return true;
}

const char* DisplayError() { return "the page could not set up its canvas"; }

uint32_t* ResizeDisplayFrame(int width, int height) {
    if (width == display.width && height == display.height) return display.frame;
    // The old frame goes first, so that the module's memory (which never
    // shrinks) grows only to the larger of the two. When the new one does
    // not fit, the old size fits again in the room just freed.
    std::free(display.frame);
    uint32_t* frame = AllocateFrame(width, height);
    if (frame == nullptr) {
        display.frame = display.width > 0 ? AllocateFrame(display.width, display.height) : nullptr;
        if (display.frame == nullptr) display.width = display.height = 0;
        return nullptr;
    }
    display = {display.open, width, height, frame, display.zoom_request};
    return frame;
}

bool PresentFrame(const uint32_t* frame) {
    if (!display.open || frame != display.frame) return false;
    ToRgbaTopFirst(display.frame, display.width, display.height);
    PagePresent(display.frame, display.width, display.height);
    return true;
}

int TakeZoomRequest() { return std::exchange(display.zoom_request, 0); }

void SetDisplayZoom(int zoom) {
    if (IsZoomFactor(zoom)) PageZoom(zoom);
}

void SetDisplayTitle(const char* title) {
    if (display.open) PageTitle(title);
}

void CloseDisplay() {
    std::free(display.frame);
    display = {};
}

void RequestDisplayZoom(int zoom) {
    if (IsZoomFactor(zoom)) display.zoom_request = zoom;
}
