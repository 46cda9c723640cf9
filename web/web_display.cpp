// The display seam in a web page: the frame goes to the page's canvas as
// top-down RGBA, the title to the document, zoom to the canvas's CSS size
// (sharp pixels); the page's script supplies the imported functions.
#include <cstdlib>
#include <utility>

#include "loop/display.h"
#include "web/page.h"

namespace {

// The display's state: the frame size, the canvas's RGBA copy of the last
// frame and the zoom the page last asked for.
struct PageDisplay {
    int width = 0;
    int height = 0;
    uint32_t* rgba = nullptr;  // width x height pixels, bytes R, G, B, A in memory, top row first
    int zoom_request = 0;      // 1, 2 or 4 from a key or a control; 0 when none is pending
} display;

bool ValidZoom(int zoom) { return zoom == 1 || zoom == 2 || zoom == 4; }

}  // namespace

bool OpenDisplay(const char* caption, int width, int height, int zoom) {
    if (width <= 0 || height <= 0 || !ValidZoom(zoom)) return false;
    auto* rgba = static_cast<uint32_t*>(std::calloc(static_cast<size_t>(width) * height, sizeof(uint32_t)));
    if (rgba == nullptr) return false;
    display = {width, height, rgba, 0};
    PageOpen(display.rgba, width, height);
    PageZoom(zoom);
    PageTitle(caption);
    return true;
}

const char* DisplayError() { return "the page could not set up its canvas"; }

bool PresentFrame(const uint32_t* frame) {
    if (display.rgba == nullptr) return false;
    // 0x00RRGGBB, row 0 at the bottom, to R, G, B, 255 bytes with the top row first.
    for (int r = 0; r < display.height; ++r) {
        const uint32_t* src = frame + static_cast<size_t>(display.height - 1 - r) * display.width;
        uint32_t* dst = display.rgba + static_cast<size_t>(r) * display.width;
        for (int c = 0; c < display.width; ++c) {
            const uint32_t p = src[c];
            dst[c] = 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
        }
    }
    PagePresent();
    return true;
}

int TakeZoomRequest() { return std::exchange(display.zoom_request, 0); }

void SetDisplayZoom(int zoom) {
    if (ValidZoom(zoom)) PageZoom(zoom);
}

void SetDisplayTitle(const char* title) {
    if (display.rgba != nullptr) PageTitle(title);
}

void CloseDisplay() {
    std::free(display.rgba);
    display = {};
}

void RequestDisplayZoom(int zoom) {
    if (ValidZoom(zoom)) display.zoom_request = zoom;
}
