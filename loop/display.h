// The display seam: the few operations the frame loop needs of a front end's
// window. Each front end implements them in its own folder (display/ for
// Windows, sdl/ for SDL2, web/ for the browser), and its build links exactly
// one of them, as platform/clock_*.cpp are chosen; the loop in
// loop/frame_loop.h runs over whichever is linked.
#pragma once

#include <cstddef>
#include <cstdint>

// Opens the display titled caption, showing width x height frames at zoom x
// their size (1, 2 or 4). Returns false, with nothing left open, when it
// cannot; DisplayError then says why.
bool OpenDisplay(const char* caption, int width, int height, int zoom = 1);

// One line naming why OpenDisplay failed, without the program's name; empty
// where the front end reports nothing (the Windows programs end quietly).
const char* DisplayError();

// Shows frame (width x height 0x00RRGGBB pixels, row 0 at the bottom, as
// given to OpenDisplay) scaled to the display, then takes in every pending
// input event. Returns false once the display is gone or the user asked to
// close it (Esc, the close button). The Windows program's window procedure
// ends the process itself, so there it always returns true.
bool PresentFrame(const uint32_t* frame);

// A frame of any size as it is handed to a front end: width x height
// 0x00RRGGBB pixels, pixel (c, r) at r * width + c, row 0 at the bottom.
// Frames with the same number hold the same pixels, so a front end may
// skip copying one it already shows.
struct SizedFrame {
    const uint32_t* pixels = nullptr;
    int width = 0, height = 0;
    uint64_t number = 0;
};

// As PresentFrame, for a front end whose frames follow the pixel size of
// its drawing area (sdl/): frame is shown 1:1 where its size is the area's,
// else stretched over it. Only such front ends implement it; the loop calls
// it only through PresentSizedLoopFrame (loop/frame_loop.h).
bool PresentSizedFrame(const SizedFrame& frame);

// Pixels a front end lends for a frame to be rendered straight into: pixel
// (c, r) of the width x height frame (row 0 at the bottom) at
// row0[r * stride + c]; stride is negative where the display holds its top
// row first.
struct DirectFrame {
    uint32_t* row0 = nullptr;
    ptrdiff_t stride = 0;
    int width = 0, height = 0;
};

// For a front end whose drawing area can take a frame without a copy (sdl/):
// lends its pixels for the next frame, of width x height, when it can take
// that frame as it is; false otherwise (another size, another pixel layout),
// and the frame then goes through PresentSizedFrame. Only such front ends
// implement it and PresentDirectFrame, which the loop calls only through
// PresentDirectLoopFrame (loop/frame_loop.h).
bool BeginDirectFrame(int width, int height, DirectFrame* frame);

// Shows the frame rendered into the pixels of the last BeginDirectFrame,
// then takes in every pending input event, as PresentSizedFrame.
bool PresentDirectFrame();

// The zoom factor (1, 2 or 4) of the last zoom key or command that
// PresentFrame took in since the previous call; 0 when there was none.
// Front ends whose window applies zoom commands itself always return 0.
int TakeZoomRequest();

// Shows the frames at zoom x their size from now on (1, 2 or 4).
void SetDisplayZoom(int zoom);

// Sets the title (window caption, document title). No effect before
// OpenDisplay.
void SetDisplayTitle(const char* title);

// Closes the display and puts back anything OpenDisplay changed (the screen
// saver). Safe to call when nothing is open.
void CloseDisplay();
