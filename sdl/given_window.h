// Drawing in an X window another program made, as an X screen-saver hack
// does: the checks before SDL takes it, its X errors, and its destruction.
#pragma once

#include <SDL.h>

#include <cstdint>

// Opens the display in the existing X window window_id (the X screen-saver
// daemon's full-screen window or its preview). Frames are drawn at the
// window's own size (DisplayPixelSize) and follow its resizes. The window
// stays the other program's: it is neither changed nor destroyed, and the
// screen saver is left alone. PresentSizedFrame returns false once the
// window is destroyed. Titles show as the rate drawn in the picture's
// corner (digits only). Returns false, with nothing left open, when there
// is no X11 display, no such window, or one that cannot be drawn in (an
// InputOnly window); DisplayError then says why.
bool OpenDisplayInWindow(uint32_t window_id);

// Whether a BadWindow or BadDrawable error has said since it was opened
// that the given window is gone.
bool GivenWindowGone();

// Whether event tells of the given window's destruction.
bool IsGivenWindowDestroyed(const SDL_Event& event);

// Puts back the X error handler there was before OpenDisplayInWindow
// (Xlib's handler is the process's, not the window's).
void ReleaseGivenWindow();
