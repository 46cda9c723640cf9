// The display window: DrawDib loaded at run time, the program's window with
// its system-menu zoom items and its window procedure, the steps every
// window shares, and frame presentation. The screen saver's windows are in
// saver_window.cpp.
#include "display/display_internal.h"

#include <cstring>

DisplayState Display{};

HWND__* const& DisplayWindow = Display.window;

namespace {

constexpr DWORD kLoadFromSystem32 = 0x800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
constexpr WPARAM kKeyCodeMask = 0xFF;       // WM_KEYDOWN: the virtual-key code is the low byte
constexpr int kBitmapPlanes = 1;
constexpr int kBitsPerPixel = 32;
constexpr UINT kScreenSaverOff = 0;
constexpr UINT kDoNotWriteProfile = 0;         // SystemParametersInfoA: change this session only

// Looks up name in msvfw32.dll into *entry, cast to its real type; going
// through the generic function-pointer type keeps the compiler from guessing
// at the signature. False when the library lacks it.
template <typename Function>
bool FindEntryPoint(Function* entry, const char* name) {
    *entry = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(Display.library, name)));
    return *entry != nullptr;
}

// Loads msvfw32.dll and its five entry points, in order; false at the first
// failure, leaving the library loaded and the points found so far recorded.
bool LoadDrawDib() {
    Display.library = LoadSystemLibrary(kDrawDibLibrary, true);
    return Display.library != nullptr && FindEntryPoint(&Display.draw_dib_open, "DrawDibOpen") &&
           FindEntryPoint(&Display.draw_dib_close, "DrawDibClose") &&
           FindEntryPoint(&Display.draw_dib_begin, "DrawDibBegin") &&
           FindEntryPoint(&Display.draw_dib_draw, "DrawDibDraw") &&
           FindEntryPoint(&Display.draw_dib_end, "DrawDibEnd");
}

bool RegisterDisplayClass(const char* caption, WNDPROC procedure, HCURSOR cursor) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA& wc = Display.window_class;
    wc.style = kClassStyle;
    wc.lpfnWndProc = procedure;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, kIconName);
    wc.hCursor = cursor;
    wc.hbrBackground = nullptr;  // every paint covers the whole client area
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = caption;
    return RegisterClassA(&wc) != 0;
}

void FillImageHeader(int width, int height) {
    BITMAPINFOHEADER& h = Display.header;
    std::memset(&h, 0, sizeof h);
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = height;  // positive: bottom-up, the first row in memory is the bottom row
    h.biPlanes = kBitmapPlanes;
    h.biBitCount = kBitsPerPixel;
    h.biCompression = BI_RGB;
}

void AppendZoomItems(HWND window) {
    HMENU menu = GetSystemMenu(window, FALSE);
    AppendMenuA(menu, MF_STRING, kZoom1Command, "Zoom 1 x 1");
    AppendMenuA(menu, MF_STRING, kZoom2Command, "Zoom 2 x 2");
    AppendMenuA(menu, MF_STRING, kZoom4Command, "Zoom 4 x 4");
}

LRESULT OnPaint(HWND window) {
    if (Display.frame == nullptr) return 0;
    RECT client;
    GetClientRect(window, &client);
    Display.draw_dib_draw(Display.draw_dib,                     /* DrawDib handle */
                          Display.dc,                           /* kept window DC */
                          0,                                    /* destination x */
                          0,                                    /* destination y */
                          client.right,                         /* destination width */
                          client.bottom,                        /* destination height */
                          &Display.header,                      /* source format */
                          const_cast<uint32_t*>(Display.frame), /* source pixels */
                          0,                                    /* source x */
                          0,                                    /* source y */
                          Display.source_width,                 /* source width */
                          Display.source_height,                /* source height */
                          0);                                   /* flags */
    ValidateRect(window, nullptr);
    return 0;
}

// Puts back the user's screen-saver setting. Under Wine the change is an X
// request that sits in a buffer until the next round trip, and the process
// ends right after this: reading the setting back is such a round trip, so
// the X server has the request before ExitProcess.
void RestoreScreenSaver() {
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, static_cast<UINT>(Display.saver_was_active != FALSE),
                          nullptr, kDoNotWriteProfile);
    BOOL active = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
}

// Resizes the window to factor x its outer size at zoom 1 and centres it on
// the primary screen: the outer size, frame included, is what is multiplied.
void ZoomWindow(HWND window, int factor) {
    const int width = Display.OuterWidth * factor;
    const int height = Display.OuterHeight * factor;
    SetWindowPos(window,                                                 /* window */
                 nullptr,                                                /* no z-order change */
                 CentredPosition(GetSystemMetrics(SM_CXSCREEN), width),  /* x */
                 CentredPosition(GetSystemMetrics(SM_CYSCREEN), height), /* y */
                 width,                                                  /* outer width */
                 height,                                                 /* outer height */
                 SWP_NOZORDER);                                          /* flags */
}

LRESULT OnZoomCommand(HWND window, WPARAM command) {
    ZoomWindow(window, static_cast<int>(command & kZoomFactorMask));
    return 0;
}

}  // namespace

HMODULE LoadSystemLibrary(const char* name, bool use_search_flag) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (use_search_flag && kernel != nullptr && GetProcAddress(kernel, "AddDllDirectory") != nullptr) {
        return LoadLibraryExA(name, nullptr, kLoadFromSystem32);
    }
    char path[MAX_PATH];
    const UINT folder_length = GetSystemDirectoryA(path, MAX_PATH);
    const size_t name_length = std::strlen(name);
    // Zero means failure; a result of MAX_PATH or more is the size needed.
    if (folder_length == 0 || folder_length + 1 + name_length >= MAX_PATH) return nullptr;
    path[folder_length] = '\\';
    std::memcpy(path + folder_length + 1, name, name_length + 1);
    return LoadLibraryA(path);
}

int CentredPosition(int screen, int outer) { return (screen - outer) >> 1; }

// Registers the class, creates and shows the window, keeps its DC and
// describes a width x height source image. False, with no window and no
// class, on failure.
bool OpenWindow(const char* caption, int width, int height, const WindowPlacement& place) {
    if (!RegisterDisplayClass(caption, place.procedure, place.cursor)) return false;
    Display.source_width = width;
    Display.source_height = height;

    Display.window = CreateWindowExA(place.ex_style, /* extended style */
                                     caption,        /* class */
                                     caption,        /* title */
                                     place.style,    /* style */
                                     place.x,        /* left */
                                     place.y,        /* top */
                                     place.width,    /* width */
                                     place.height,   /* height */
                                     place.parent,   /* parent */
                                     nullptr,        /* menu */
                                     nullptr,        /* instance */
                                     nullptr);       /* creation data */
    if (Display.window == nullptr) {
        // Without a window the frame loop would run unseen, with no way to
        // close it: fail like the other causes, leaving no class behind.
        UnregisterClassA(caption, Display.window_class.hInstance);
        return false;
    }
    ShowWindow(Display.window, SW_SHOWNORMAL);
    Display.dc = GetDC(Display.window);
    FillImageHeader(width, height);
    return true;
}

LRESULT FrameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            return OnPaint(window);
        case WM_CLOSE:
            CloseDisplay();
            ExitProcess(kExitCode);
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

bool OpenDisplay(const char* caption, int width, int height, int zoom) {
    Display.mode = DisplayMode::kWindow;
    RECT outer = {0, 0, width, height};
    AdjustWindowRect(&outer, kWindowStyle, FALSE);
    Display.OuterWidth = outer.right - outer.left;
    Display.OuterHeight = outer.bottom - outer.top;
    const WindowPlacement place = {0,
                                   kWindowStyle,
                                   CentredPosition(GetSystemMetrics(SM_CXSCREEN), Display.OuterWidth),
                                   CentredPosition(GetSystemMetrics(SM_CYSCREEN), Display.OuterHeight),
                                   Display.OuterWidth,
                                   Display.OuterHeight,
                                   nullptr,
                                   DisplayWindowProc,
                                   LoadCursorA(nullptr, IDC_ARROW)};
    if (!LoadDrawDib()) return false;
    if (!OpenWindow(caption, width, height, place)) return false;
    Display.draw_dib = Display.draw_dib_open();
    Display.draw_dib_begin(Display.draw_dib,     /* DrawDib handle */
                           Display.dc,           /* window DC */
                           Display.OuterWidth,   /* destination width: the outer size */
                           Display.OuterHeight,  /* destination height */
                           &Display.header,      /* source format */
                           width,                /* source width */
                           height,               /* source height */
                           0);                   /* flags */

    if (zoom != 1) ZoomWindow(Display.window, zoom);
    AppendZoomItems(Display.window);
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &Display.saver_was_active, 0);
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, kScreenSaverOff, nullptr, kDoNotWriteProfile);
    return true;
}

void CloseDisplay() {
    if (Display.mode == DisplayMode::kWindow) {  // the screen saver's windows use no DrawDib
        Display.draw_dib_end(Display.draw_dib);
        Display.draw_dib_close(Display.draw_dib);
    }
    Display.frame = nullptr;  // a late paint draws nothing
    ReleaseDC(Display.window, Display.dc);
    DestroyWindow(Display.window);
    // Only the program's window switches the screen saver off; the screen
    // saver's own windows leave the setting alone.
    if (Display.mode == DisplayMode::kWindow) RestoreScreenSaver();
}

const char* DisplayError() { return ""; }

LRESULT CALLBACK DisplayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN:
            // Every key is consumed; Esc closes the window (and so ends the program).
            if ((wParam & kKeyCodeMask) == VK_ESCAPE) SendMessageA(window, WM_CLOSE, 0, 0);
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & kZoomCommandMask) == kZoomCommandBase) return OnZoomCommand(window, wParam);
            return DefWindowProcA(window, message, wParam, lParam);
        default:
            return FrameWindowProc(window, message, wParam, lParam);
    }
}

bool PresentFrame(const uint32_t* frame) {
    // The preview ends with the window it is shown in.
    if (Display.parent != nullptr && !IsWindow(Display.parent)) ExitProcess(kExitCode);
    Display.frame = frame;
    InvalidateRect(Display.window, nullptr, TRUE);
    SendMessageA(Display.window, WM_PAINT, 0, 0);  // paints now and validates
    MSG msg;
    // This window's messages only, of any number, each taken off the queue.
    while (PeekMessageA(&msg, Display.window, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    Sleep(0);  // give up the rest of the time slice
    return true;
}

int TakeZoomRequest() { return 0; }

void SetDisplayZoom(int zoom) {
    if (Display.window != nullptr) ZoomWindow(Display.window, zoom);
}

void SetDisplayTitle(const char* title) {
    if (Display.window == nullptr) return;
    SendMessageA(Display.window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title));
}
