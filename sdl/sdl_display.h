// The native program's one window through SDL2: a picture surface the frame
// is copied into once per frame (flipped right side up), stretched onto the
// window's own surface by whole factors without smoothing; zoom keys, the
// close handling and the screen-saver switch.
#pragma once

#include <cstdint>
#include <string>

// Opens a window titled caption whose client area is zoom x (width x height)
// pixels, centred on the display, and a width x height picture surface, and
// keeps the screen saver off while it is open. Nothing waits for vsync.
// The display is the one DISPLAY or WAYLAND_DISPLAY names (SDL_VIDEODRIVER,
// when set, chooses instead); SDL's offscreen and dummy drivers are never
// used in their place. On failure returns false with *error one line naming
// the problem, and everything opened so far closed again.
bool OpenSdlDisplay(const char* caption, int width, int height, int zoom, std::string* error);

// Shows frame (width x height 0x00RRGGBB pixels, bottom row first, as given
// to OpenSdlDisplay), then handles every pending event: keys 1, 2 and 4 zoom
// (the window re-centred), Esc and close requests end the loop. Returns
// false once the window should close. Allocates nothing.
bool PresentSdlFrame(const uint32_t* frame);

// Sets the window title.
void SetSdlTitle(const char* title);

// Frees the picture surface and destroys the window, puts the screen saver back as
// it was, and shuts SDL down (its X connection included).
void CloseSdlDisplay();
