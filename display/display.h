// The Windows front end of the display seam (loop/display.h): DrawDib loaded
// at run time from the system folder; a window centred on the screen with zoom
// items in its system menu, or the screen saver's full-screen or preview
// window, painted through GDI; and per-frame presentation with the message
// drain. Free of
// <windows.h>, so the portable driver can include it.
#pragma once

#include <cstdint>

#include "loop/display.h"

// The window handle type, as <windows.h> declares it (HWND is HWND__*).
struct HWND__;

// The program's window; null until OpenDisplay succeeds. Read-only.
extern HWND__* const& DisplayWindow;

// OpenDisplay loads DrawDib, registers the window class (class name =
// caption), opens a window whose client area is width x height pixels,
// centred on the primary screen, at zoom as the system menu's zoom items set
// it, adds those items to its system menu, remembers the screen-saver
// setting and switches the screen saver off. It returns false, with no window
// and no class, when msvfw32.dll or one of its five DrawDib entry points is
// missing, the class cannot be registered or the window cannot be created;
// the library is left loaded then. Called once per process. DisplayError is
// always empty: the Windows programs end quietly.
//
// CloseDisplay ends DrawDib, releases the DC, destroys the window and puts
// the screen saver back as it was before OpenDisplay switched it off (on, or
// off if the user had it off), with the change in effect on return. Called on
// WM_CLOSE, just before the process ends.
//
// PresentFrame shows the frame through a synchronous paint stretched over the
// client area, then handles every pending message of the window and yields
// the rest of the time slice. A close request ends the process inside this
// call with exit code 0, so it always returns true. The window procedure
// applies the zoom commands itself: TakeZoomRequest always gives 0, and
// SetDisplayZoom does what the menu item does. SetDisplayTitle sends
// WM_SETTEXT.

// The screen saver's windows show frames of their own size pixel for pixel
// (scale 1), or frames of 1 / scale of it (rounded up) at scale times their
// size, a whole factor, so that presenting never stretches by a fraction:
// the frame's bottom row on the window's bottom row, its left column on
// the left, whatever overhangs the top and right edges cut off.

// The size in pixels of the screen saver's window: full screen (parent
// null) the virtual screen, every monitor; in the preview parent's client
// area. Each side at least 1. False when parent is not a window.
bool SaverWindowSize(HWND__* parent, int* width, int* height);

// The screen saver, full screen: a borderless top-most window over the
// whole virtual screen (every monitor), with the cursor hidden, that ends
// the process with exit code 0 on a key, a mouse button, or the pointer
// moving more than a few pixels from where it was at the start; it shows
// width x height frames at scale (1 or more) through GDI, without DrawDib.
// Leaves the screen-saver setting alone. False, with no window and no
// class, when the class cannot be registered or the window cannot be made.
bool OpenSaverDisplay(const char* caption, int width, int height, int scale);

// The screen saver's preview: a child window filling parent's client area
// (parent may belong to another process), showing width x height frames at
// scale; the process ends with exit code 0 when parent goes away. False
// when parent is not a window, and on the failures of OpenSaverDisplay.
bool OpenPreviewDisplay(const char* caption, int width, int height, int scale, HWND__* parent);
