// What the page's script (noise-animation.js) gives the WebAssembly module:
// the canvas and the document title, imported from the module "env"; and
// the web display's frame, which the module renders into.
#pragma once

#include <cstdint>

#define NOISE_PAGE_IMPORT(name) __attribute__((import_module("env"), import_name(name)))

extern "C" {
// The canvas's next picture: width x height RGBA pixels (4 bytes each, top
// row first) at rgba, drawn at the page's next animation frame; the canvas
// takes that pixel size. The pixels stay valid until the next call.
NOISE_PAGE_IMPORT("page_present") void PagePresent(const uint32_t* rgba, int width, int height);
// Sizes the canvas on the page at zoom (1, 2 or 4) x its base CSS size.
NOISE_PAGE_IMPORT("page_zoom") void PageZoom(int zoom);
// Sets the document title and the page's rate line to the NUL-terminated text.
NOISE_PAGE_IMPORT("page_title") void PageTitle(const char* text);
}

// Records a zoom the page asked for (a key or a control: 1, 2 or 4; others
// are ignored), handed to the frame loop by the next TakeZoomRequest.
void RequestDisplayZoom(int zoom);

// Makes the display's frame width x height pixels (both at least 1) and
// returns it: the buffer to render into, row 0 at the bottom, which
// PresentFrame then turns into the canvas's RGBA in place. Returns null,
// keeping the frame it had, when memory is short.
uint32_t* ResizeDisplayFrame(int width, int height);
