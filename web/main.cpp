// The web page's module: what the page's script calls. It starts the frame
// loop from the URL's seed and held time, sizes the frame to the canvas's
// pixels, runs one loop step per call, and renders single base frames
// through a chosen path for the page's checks. For the page's WebGL2 engine
// it hands over the tables and runs the loop's clock, zoom and rate steps
// without rendering.
#include <emscripten/emscripten.h>

#include <cstdint>

#include "loop/display.h"
#include "loop/frame_loop.h"
#include "noise/noise.h"
#include "render/frame.h"
#include "render/frame_rows.h"
#include "render/frame_shape.h"
#include "render/render_path.h"
#include "render/shading.h"
#include "web/page.h"

namespace {

FrameLoop loop;

// The frame the canvas shows: its shape, the renderer's scratch space for
// that shape (made once per size, on the heap: it grows with the width),
// and the display's buffer it is rendered into.
struct PageFrame {
    FrameShape shape;
    FrameScratch scratch;
    uint32_t* pixels = nullptr;
} frame;

}  // namespace

extern "C" {

// Builds the tables from seed (two's-complement bits; 0 seeds from the
// clock), holds the animation at time value time when hold is non-zero, and
// opens the canvas at zoom 1 with a base-size frame. Returns 0, or 1 when
// memory is short.
EMSCRIPTEN_KEEPALIVE int WebStart(uint32_t seed, int hold, uint32_t time) {
    StartFrameLoop(&loop);
    if (!PrepareFrames(static_cast<int32_t>(seed))) return 1;
    loop.hold_time = hold != 0;
    loop.held_time = time;
    if (!OpenDisplay(kCaption, kBaseWidth, kBaseHeight)) return 1;
    frame.shape = BaseFrameShape();
    frame.pixels = ResizeDisplayFrame(kBaseWidth, kBaseHeight);
    return 0;
}

// Draws width x height frames from now on: the canvas's pixel size. Returns
// 0; 1 when the size is out of range (render/frame_shape.h); 2 when memory
// is short. In both failures the frames keep their size.
EMSCRIPTEN_KEEPALIVE int WebResize(int width, int height) {
    FrameShape shape;
    if (!MakeFrameShape(width, height, &shape)) return 1;
    uint32_t* pixels = ResizeDisplayFrame(width, height);
    if (pixels == nullptr) {
        // The display keeps the old size, though perhaps at a new address.
        frame.pixels = ResizeDisplayFrame(frame.shape.width, frame.shape.height);
        return 2;
    }
    frame.shape = shape;
    frame.pixels = pixels;
    return 0;
}

// Renders and shows the next frame: one pass of the frame loop. Does
// nothing when no frame could be kept at all.
EMSCRIPTEN_KEEPALIVE void WebFrame() {
    if (frame.pixels == nullptr) return;
    RenderSizedFrame(frame.shape, LoopFrameTime(loop), &frame.scratch, frame.pixels);
    PresentLoopFrame(&loop, frame.pixels);  // the page never closes the display
}

// Opens a new rate interval, when frames resume after the page was hidden.
EMSCRIPTEN_KEEPALIVE void WebRestartRate() { RestartRateInterval(&loop); }

// A zoom key or control: 1, 2 or 4.
EMSCRIPTEN_KEEPALIVE void WebRequestZoom(int zoom) { RequestDisplayZoom(zoom); }

// The index in RenderPath of the path frames are rendered with.
EMSCRIPTEN_KEEPALIVE int WebBestPath() { return static_cast<int>(BestRenderPath()); }

// Renders time value t through path (an index in RenderPath; an unavailable
// one renders plain) into PixelBuffer and returns it: W x H 0x00RRGGBB
// pixels, row 0 at the bottom.
EMSCRIPTEN_KEEPALIVE const uint32_t* WebRenderWith(int path, uint32_t t) {
    RenderFrameWith(static_cast<RenderPath>(path), t, ByteImage, PixelBuffer);
    return PixelBuffer;
}

// The WebGL2 engine's side of the loop: the time value to draw next (the
// clock's moment or the held time), and the count of a frame it has drawn,
// which applies a pending zoom and shows the rate title when one is due.
EMSCRIPTEN_KEEPALIVE uint32_t WebFrameTime() { return LoopFrameTime(loop); }
EMSCRIPTEN_KEEPALIVE void WebFrameShown() { FinishLoopFrame(&loop); }

// The tables WebStart built, for the WebGL2 engine to upload: PermTable
// (kTableEntries int32), GradTable (kTableEntries x, y, z int32 triples),
// SineTable (kSineTableSize int32) and Palette (kPaletteSize 0x00RRGGBB).
static_assert(sizeof(Gradient) == 3 * sizeof(int32_t), "GradTable is packed x, y, z triples");
EMSCRIPTEN_KEEPALIVE const int32_t* WebPermTable() { return PermTable; }
EMSCRIPTEN_KEEPALIVE const Gradient* WebGradTable() { return GradTable; }
EMSCRIPTEN_KEEPALIVE const int32_t* WebSineTable() { return SineTable; }
EMSCRIPTEN_KEEPALIVE const uint32_t* WebPalette() { return Palette; }
}
