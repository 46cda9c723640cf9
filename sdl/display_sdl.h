// What the SDL2 front end offers beyond the display seam (loop/display.h):
// drawing in an X window that another program made, as an X screen-saver
// hack does, and the display's refresh rate for pacing.
#pragma once

#include <cstdint>

// Opens the display in the existing X window window_id (the X screen-saver
// daemon's full-screen window or its preview), showing width x height frames
// stretched over the whole window by nearest neighbour, following its size.
// The window stays the other program's: it is neither changed nor destroyed,
// and the screen saver is left alone. PresentFrame returns false once the
// window is destroyed. Titles show as the rate drawn in the picture's
// corner (digits only). Returns false, with nothing left open, when there is
// no X11 display or no such window; DisplayError then says why.
bool OpenDisplayInWindow(uint32_t window_id, int width, int height);

// The refresh rate of the display the window is on, in Hz; 0 when unknown.
int DisplayRefreshRate();
