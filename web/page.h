// What the page's script (noise-animation.js) gives the WebAssembly module:
// the canvas and the document title, imported from the module "env".
#pragma once

#include <cstdint>

#define NOISE_PAGE_IMPORT(name) __attribute__((import_module("env"), import_name(name)))

extern "C" {
// Shows width x height RGBA pixels (4 bytes each, top row first) on the
// canvas from now on, read from rgba on every PagePresent.
NOISE_PAGE_IMPORT("page_open") void PageOpen(const uint32_t* rgba, int width, int height);
// Draws the pixels given to PageOpen.
NOISE_PAGE_IMPORT("page_present") void PagePresent();
// Sizes the canvas on the page at zoom (1, 2 or 4) x its pixels, unsmoothed.
NOISE_PAGE_IMPORT("page_zoom") void PageZoom(int zoom);
// Sets the document title and the page's rate line to the NUL-terminated text.
NOISE_PAGE_IMPORT("page_title") void PageTitle(const char* text);
}

// Records a zoom the page asked for (a key or a control: 1, 2 or 4; others
// are ignored), handed to the frame loop by the next TakeZoomRequest.
void RequestDisplayZoom(int zoom);
