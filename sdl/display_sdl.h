// What the SDL2 front end offers beyond the display seam (loop/display.h):
// its own window at any size or full screen, the drawing area's size the
// frames follow, and the display's refresh rate for pacing. Drawing in a
// window another program made: sdl/given_window.h.
#pragma once

// Opens the program's own resizable window titled caption, width x height
// pixels, centred, or full screen; frames are drawn 1:1 at its own pixel
// size, which the user may change: resizing, F11 or Alt+Enter (full screen
// on and off), keys 1, 2 and 4 (TakeZoomRequest, then SetDisplayZoom makes
// it 320x200 times that). Holds the screen saver off until CloseDisplay.
// Returns false, with nothing left open, when it cannot; DisplayError then
// says why.
bool OpenOwnWindow(const char* caption, int width, int height, bool fullscreen);

// The drawing area's size in pixels now (the own window's or the given
// one's), at least 1 x 1; as of the last PresentSizedFrame's events.
void DisplayPixelSize(int* width, int* height);

// The refresh rate of the display the window is on, in Hz; 0 when unknown.
int DisplayRefreshRate();
