// The screen saver's windows: full screen over every monitor or the preview
// inside another window, painted through GDI at a whole factor, and their
// window procedure. Shares the display module's state (display_internal.h).
#include "display/display_internal.h"

namespace {

constexpr LONG kMoveTolerance = 4;             // pixels the pointer may drift before the screen saver ends
constexpr WPARAM kSystemCommandMask = 0xFFF0;  // the low four bits of a system command are the system's

// The screen saver's paint: the frame at its whole factor, bottom-left
// aligned, straight through GDI. Pixel for pixel that is one copy of the
// frame into the window; DrawDib would first copy it into a bitmap of its
// own. A factor above 1 repeats pixels (COLORONCOLOR, set at opening).
LRESULT OnSaverPaint(HWND window) {
    if (Display.frame == nullptr) return 0;
    RECT client;
    GetClientRect(window, &client);
    const int width = Display.source_width * Display.scale;
    const int height = Display.source_height * Display.scale;
    const auto* format = reinterpret_cast<const BITMAPINFO*>(&Display.header);
    if (Display.scale == 1) {
        SetDIBitsToDevice(Display.dc,                                    /* kept window DC */
                          0,                                             /* destination x */
                          client.bottom - height,                        /* destination y */
                          static_cast<DWORD>(width),                     /* width */
                          static_cast<DWORD>(height),                    /* height */
                          0,                                             /* source x */
                          0,                                             /* source y */
                          0,                                             /* first scan line */
                          static_cast<UINT>(Display.source_height),      /* scan lines */
                          Display.frame,                                 /* source pixels */
                          format,                                        /* source format */
                          DIB_RGB_COLORS);                               /* colours */
    } else {
        StretchDIBits(Display.dc,            /* kept window DC */
                      0,                     /* destination x */
                      client.bottom - height, /* destination y */
                      width,                 /* destination width */
                      height,                /* destination height */
                      0,                     /* source x */
                      0,                     /* source y */
                      Display.source_width,  /* source width */
                      Display.source_height, /* source height */
                      Display.frame,         /* source pixels */
                      format,                /* source format */
                      DIB_RGB_COLORS,        /* colours */
                      SRCCOPY);              /* raster operation */
    }
    ValidateRect(window, nullptr);
    return 0;
}

// True when the pointer of a WM_MOUSEMOVE (lParam, client coordinates) is
// more than kMoveTolerance pixels from where it was when the screen saver
// started. Without that starting point, the first move gives it (the system
// sends one when the window appears).
bool MovedAway(HWND window, LPARAM lParam) {
    POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    ClientToScreen(window, &at);
    if (!Display.has_start_point) {
        Display.start_point = at;
        Display.has_start_point = true;
        return false;
    }
    const LONG dx = at.x - Display.start_point.x;
    const LONG dy = at.y - Display.start_point.y;
    return dx > kMoveTolerance || dx < -kMoveTolerance || dy > kMoveTolerance || dy < -kMoveTolerance;
}

// Opens the screen saver's window, which paints through GDI (OnSaverPaint).
bool OpenSaverWindow(const char* caption, int width, int height, int scale, const WindowPlacement& place) {
    Display.scale = scale;
    if (!OpenWindow(caption, width, height, place)) return false;
    SetStretchBltMode(Display.dc, COLORONCOLOR);  // whole pixels repeated, never blended
    return true;
}

}  // namespace

bool SaverWindowSize(HWND parent, int* width, int* height) {
    if (parent == nullptr) {
        *width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
        *height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    } else {
        RECT client;
        if (!IsWindow(parent) || !GetClientRect(parent, &client)) return false;
        *width = client.right;
        *height = client.bottom;
    }
    if (*width < 1) *width = 1;
    if (*height < 1) *height = 1;
    return true;
}

bool OpenSaverDisplay(const char* caption, int width, int height, int scale) {
    Display.mode = DisplayMode::kFullScreen;
    Display.has_start_point = GetCursorPos(&Display.start_point) != FALSE;
    const WindowPlacement place = {WS_EX_TOPMOST,
                                   WS_POPUP,
                                   GetSystemMetrics(SM_XVIRTUALSCREEN),
                                   GetSystemMetrics(SM_YVIRTUALSCREEN),
                                   GetSystemMetrics(SM_CXVIRTUALSCREEN),
                                   GetSystemMetrics(SM_CYVIRTUALSCREEN),
                                   nullptr,
                                   SaverWindowProc,
                                   nullptr};
    if (!OpenSaverWindow(caption, width, height, scale, place)) return false;
    SetCursor(nullptr);
    return true;
}

bool OpenPreviewDisplay(const char* caption, int width, int height, int scale, HWND parent) {
    RECT client;
    if (!IsWindow(parent) || !GetClientRect(parent, &client)) return false;
    Display.mode = DisplayMode::kPreview;
    Display.parent = parent;
    const WindowPlacement place = {0,      WS_CHILD,        0,
                                   0,      client.right,    client.bottom,
                                   parent, SaverWindowProc, LoadCursorA(nullptr, IDC_ARROW)};
    return OpenSaverWindow(caption, width, height, scale, place);
}

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const bool full_screen = Display.mode == DisplayMode::kFullScreen;
    switch (message) {
        case WM_DESTROY:
            // The preview's parent went away, taking this window with it, or
            // CloseDisplay destroyed it: nothing is left to show.
            ExitProcess(kExitCode);
        case WM_SETCURSOR:
            if (!full_screen) return DefWindowProcA(window, message, wParam, lParam);
            SetCursor(nullptr);
            return TRUE;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_XBUTTONDOWN:
            if (!full_screen) return DefWindowProcA(window, message, wParam, lParam);
            PostMessageA(window, WM_CLOSE, 0, 0);
            return 0;
        case WM_MOUSEMOVE:
            if (full_screen && MovedAway(window, lParam)) PostMessageA(window, WM_CLOSE, 0, 0);
            return 0;
        case WM_PAINT:
            return OnSaverPaint(window);
        case WM_SYSCOMMAND:
            // Already running: the system's own start of the screen saver is refused.
            if (full_screen && (wParam & kSystemCommandMask) == SC_SCREENSAVE) return 0;
            return DefWindowProcA(window, message, wParam, lParam);
        default:
            return FrameWindowProc(window, message, wParam, lParam);
    }
}
