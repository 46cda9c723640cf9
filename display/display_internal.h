// The display module's state, window procedures and shared steps, for the
// module's two files (display.cpp: DrawDib and the program's window;
// saver_window.cpp: the screen saver's windows) and their in-process tests.
// Windows code only.
#pragma once

#include <windows.h>

#include <vfw.h>

#include "display/display.h"

constexpr UINT kClassStyle = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;  // 0x23
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW;               // 0xCF0000
constexpr WPARAM kZoomCommandBase = 1024;                         // system commands 1024..1039 are zooms
constexpr WPARAM kZoomCommandMask = 0xFFFFFFF0;                   // what remains of a zoom command
constexpr WPARAM kZoomFactorMask = 7;                             // low bits of a zoom command: the factor
constexpr UINT kZoom1Command = 1025;                              // "Zoom 1 x 1"
constexpr UINT kZoom2Command = 1026;                              // "Zoom 2 x 2"
constexpr UINT kZoom4Command = 1028;                              // "Zoom 4 x 4"
constexpr UINT kExitCode = 0;                                     // the programs' exit code in every case
constexpr const char* kIconName = "IDI_MAIN";
constexpr const char* kDrawDibLibrary = "msvfw32.dll";

// The kinds of window the display module opens.
enum class DisplayMode {
    kWindow,      // the program's window (OpenDisplay)
    kFullScreen,  // the screen saver over every monitor (OpenSaverDisplay)
    kPreview,     // the screen saver inside another window (OpenPreviewDisplay)
};

// Everything the display module keeps, zero until OpenDisplay.
struct DisplayState {
    HMODULE library;                         // msvfw32.dll
    decltype(&::DrawDibOpen) draw_dib_open;  // entry points, looked up in this order
    decltype(&::DrawDibClose) draw_dib_close;
    decltype(&::DrawDibBegin) draw_dib_begin;
    decltype(&::DrawDibDraw) draw_dib_draw;
    decltype(&::DrawDibEnd) draw_dib_end;
    WNDCLASSA window_class;
    HWND window;
    HDC dc;  // the class's own DC, kept until CloseDisplay
    HDRAWDIB draw_dib;
    BITMAPINFOHEADER header;          // bottom-up 32-bit source image
    int source_width, source_height;  // image size in pixels
    int OuterWidth, OuterHeight;      // window size, frame included, at zoom 1
    const uint32_t* frame;            // pixels being shown; null before the first frame
    BOOL saver_was_active;            // the screen-saver setting before OpenDisplay switched it off
    DisplayMode mode;
    int scale;             // the screen saver's windows: whole factor the frames are shown at
    HWND parent;           // the window the preview is shown in; null otherwise
    POINT start_point;     // full screen: where the pointer was at the start, in screen pixels
    bool has_start_point;  // start_point is known
};

extern DisplayState Display;

LRESULT CALLBACK DisplayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Where and how the window of one kind of display is made.
struct WindowPlacement {
    DWORD ex_style, style;
    int x, y, width, height;  // outer rectangle; for a child, in the parent's client area
    HWND parent;
    WNDPROC procedure;
    HCURSOR cursor;  // the class cursor; null hides it over the window
};

// Registers the class (class name = caption), creates and shows the window,
// keeps its DC and describes a width x height source image in the header.
// False, with no window and no class, on failure.
bool OpenWindow(const char* caption, int width, int height, const WindowPlacement& place);

// What every window procedure does alike: paint the frame through DrawDib
// (the screen saver's paint their own way first); on a close request close
// the display and end the process; hand everything else to the system.
LRESULT FrameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The screen saver's window procedure, full screen and preview: paints,
// ends the process with exit code 0 when the window is closed or destroyed
// and, full screen, on any key, mouse button or a move of the pointer away
// from where it started; the cursor is hidden there.
LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Loads a DLL from the system folder only, never from the program's folder
// or the current directory: with LOAD_LIBRARY_SEARCH_SYSTEM32 where the
// system supports it (AddDllDirectory present) and use_search_flag is true,
// otherwise by its full path under GetSystemDirectoryA. Null on failure.
HMODULE LoadSystemLibrary(const char* name, bool use_search_flag);

// The centred position of a span of outer pixels on a screen of screen
// pixels: (screen - outer) halved rounding toward minus infinity, so a
// window larger than the screen gets a negative position (-5 gives -3).
int CentredPosition(int screen, int outer);
