// The one window of the program or of the screen saver: DrawDib loaded at
// run time from the system folder; a window centred on the screen with zoom
// items in its system menu, or the screen saver's full-screen or preview
// window; and per-frame presentation with the message drain. Free of
// <windows.h>, so the portable driver can include it.
#pragma once

#include <cstdint>

// The window handle type, as <windows.h> declares it (HWND is HWND__*).
struct HWND__;

// The program's window; null until OpenDisplay succeeds. Read-only.
extern HWND__* const& DisplayWindow;

// Loads DrawDib, registers the window class (class name = caption), opens a
// window whose client area is width x height pixels, centred on the primary
// screen, adds the zoom items to its system menu, remembers the screen-saver
// setting and switches the screen saver off. Returns false, with no window
// and no class, when msvfw32.dll or one of its five DrawDib entry points is
// missing, the class cannot be registered or the window cannot be created;
// the library is left loaded then. Called once per process.
bool OpenDisplay(const char* caption, int width, int height);

// The screen saver, full screen: loads DrawDib and opens a borderless
// top-most window over the whole virtual screen (every monitor), with the
// cursor hidden, that ends the process with exit code 0 on a key, a mouse
// button, or the pointer moving more than a few pixels from where it was
// at the start. Leaves the screen-saver setting alone. Fails as OpenDisplay.
bool OpenSaverDisplay(const char* caption, int width, int height);

// The screen saver's preview: a child window filling parent's client area
// (parent may belong to another process); the process ends with exit code
// 0 when parent goes away. False when parent is not a window, and on the
// failures of OpenDisplay.
bool OpenPreviewDisplay(const char* caption, int width, int height, HWND__* parent);

// Ends DrawDib, releases the DC, destroys the window and puts the screen
// saver back as it was before OpenDisplay switched it off (on, or off if the user had it
// off), with the change in effect on return. Called on WM_CLOSE, just before
// the process ends.
void CloseDisplay();

// Shows frame (width x height 0x00RRGGBB pixels, bottom row first, as given
// to OpenDisplay) stretched over the client area through a synchronous
// paint, then handles every pending message of the window and yields the
// rest of the time slice. A close request ends the process inside this call
// with exit code 0. Always returns true.
bool PresentFrame(const uint32_t* frame);

// Sets the window title (WM_SETTEXT). No effect before OpenDisplay.
void SetDisplayTitle(const char* title);
