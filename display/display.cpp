// The display window: DrawDib loaded at run time, the window with its
// system-menu zoom items, its window procedure, and frame presentation.
#include "display/display_internal.h"

#include <cstring>

DisplayState Display{};

HWND__* const& DisplayWindow = Display.window;

namespace {

constexpr DWORD kLoadFromSystem32 = 0x800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
constexpr WPARAM kKeyCodeMask = 0xFF;       // WM_KEYDOWN: the virtual-key code is the low byte
constexpr UINT kExitCode = 0;               // the program's exit code in every case
constexpr int kBitmapPlanes = 1;
constexpr int kBitsPerPixel = 32;
constexpr UINT kScreenSaverOff = 0;
constexpr UINT kDoNotWriteProfile = 0;  // SystemParametersInfoA: change this session only

// Casts a looked-up entry point to its real type; going through the generic
// function-pointer type keeps the compiler from guessing at the signature.
template <typename Function>
Function EntryPoint(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// Loads msvfw32.dll and its five entry points, in order; false at the first
// failure, leaving the library loaded and the points found so far recorded.
bool LoadDrawDib() {
    Display.library = LoadSystemLibrary(kDrawDibLibrary, true);
    if (Display.library == nullptr) return false;
    Display.drawDibOpen = EntryPoint<decltype(Display.drawDibOpen)>(Display.library, "DrawDibOpen");
    if (Display.drawDibOpen == nullptr) return false;
    Display.drawDibClose = EntryPoint<decltype(Display.drawDibClose)>(Display.library, "DrawDibClose");
    if (Display.drawDibClose == nullptr) return false;
    Display.drawDibBegin = EntryPoint<decltype(Display.drawDibBegin)>(Display.library, "DrawDibBegin");
    if (Display.drawDibBegin == nullptr) return false;
    Display.drawDibDraw = EntryPoint<decltype(Display.drawDibDraw)>(Display.library, "DrawDibDraw");
    if (Display.drawDibDraw == nullptr) return false;
    Display.drawDibEnd = EntryPoint<decltype(Display.drawDibEnd)>(Display.library, "DrawDibEnd");
    return Display.drawDibEnd != nullptr;
}

bool RegisterDisplayClass(const char* caption) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA& wc = Display.windowClass;
    wc.style = kClassStyle;
    wc.lpfnWndProc = DisplayWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, kIconName);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
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
    Display.drawDibDraw(Display.drawDib,                      /* DrawDib handle */
                        Display.dc,                           /* kept window DC */
                        0,                                    /* destination x */
                        0,                                    /* destination y */
                        client.right,                         /* destination width */
                        client.bottom,                        /* destination height */
                        &Display.header,                      /* source format */
                        const_cast<uint32_t*>(Display.frame), /* source pixels */
                        0,                                    /* source x */
                        0,                                    /* source y */
                        Display.sourceWidth,                  /* source width */
                        Display.sourceHeight,                 /* source height */
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

LRESULT OnZoomCommand(HWND window, WPARAM command) {
    const int factor = static_cast<int>(command & kZoomFactorMask);
    const int width = Display.outerWidth * factor;
    const int height = Display.outerHeight * factor;
    SetWindowPos(window,                                                 /* window */
                 nullptr,                                                /* no z-order change */
                 CentredPosition(GetSystemMetrics(SM_CXSCREEN), width),  /* x */
                 CentredPosition(GetSystemMetrics(SM_CYSCREEN), height), /* y */
                 width,                                                  /* outer width */
                 height,                                                 /* outer height */
                 SWP_NOZORDER);                                          /* flags */
    return 0;
}

}  // namespace

HMODULE LoadSystemLibrary(const char* name, bool useSearchFlag) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (useSearchFlag && kernel != nullptr && GetProcAddress(kernel, "AddDllDirectory") != nullptr) {
        return LoadLibraryExA(name, nullptr, kLoadFromSystem32);
    }
    char path[MAX_PATH];
    const UINT folderLength = GetSystemDirectoryA(path, MAX_PATH);
    const size_t nameLength = std::strlen(name);
    // Zero means failure; a result of MAX_PATH or more is the size needed.
    if (folderLength == 0 || folderLength + 1 + nameLength >= MAX_PATH) return nullptr;
    path[folderLength] = '\\';
    std::memcpy(path + folderLength + 1, name, nameLength + 1);
    return LoadLibraryA(path);
}

int CentredPosition(int screen, int outer) { return (screen - outer) >> 1; }

bool OpenDisplay(const char* caption, int width, int height) {
    if (!LoadDrawDib()) return false;
    if (!RegisterDisplayClass(caption)) return false;

    RECT outer = {0, 0, width, height};
    AdjustWindowRect(&outer, kWindowStyle, FALSE);
    Display.outerWidth = outer.right - outer.left;
    Display.outerHeight = outer.bottom - outer.top;
    Display.sourceWidth = width;
    Display.sourceHeight = height;

    const int x = CentredPosition(GetSystemMetrics(SM_CXSCREEN), Display.outerWidth);
    const int y = CentredPosition(GetSystemMetrics(SM_CYSCREEN), Display.outerHeight);
    Display.window = CreateWindowExA(0,                   /* extended style */
                                     caption,             /* class */
                                     caption,             /* title */
                                     kWindowStyle,        /* style */
                                     x,                   /* left */
                                     y,                   /* top */
                                     Display.outerWidth,  /* width */
                                     Display.outerHeight, /* height */
                                     nullptr,             /* parent */
                                     nullptr,             /* menu */
                                     nullptr,             /* instance */
                                     nullptr);            /* creation data */
    if (Display.window == nullptr) {
        // Without a window the frame loop would run unseen, with no way to
        // close it: fail like the other causes, leaving no class behind.
        UnregisterClassA(caption, Display.windowClass.hInstance);
        return false;
    }
    ShowWindow(Display.window, SW_SHOWNORMAL);
    Display.dc = GetDC(Display.window);

    FillImageHeader(width, height);
    Display.drawDib = Display.drawDibOpen();
    Display.drawDibBegin(Display.drawDib,     /* DrawDib handle */
                         Display.dc,          /* window DC */
                         Display.outerWidth,  /* destination width: the outer size */
                         Display.outerHeight, /* destination height */
                         &Display.header,     /* source format */
                         width,               /* source width */
                         height,              /* source height */
                         0);                  /* flags */

    AppendZoomItems(Display.window);
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &Display.saver_was_active, 0);
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, kScreenSaverOff, nullptr, kDoNotWriteProfile);
    return true;
}

void CloseDisplay() {
    Display.drawDibEnd(Display.drawDib);
    Display.drawDibClose(Display.drawDib);
    Display.frame = nullptr;  // a late paint draws nothing
    ReleaseDC(Display.window, Display.dc);
    DestroyWindow(Display.window);
    RestoreScreenSaver();
}

LRESULT CALLBACK DisplayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            return OnPaint(window);
        case WM_CLOSE:
            CloseDisplay();
            ExitProcess(kExitCode);
        case WM_KEYDOWN:
            // Every key is consumed; Esc closes the window (and so ends the program).
            if ((wParam & kKeyCodeMask) == VK_ESCAPE) SendMessageA(window, WM_CLOSE, 0, 0);
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & kZoomCommandMask) == kZoomCommandBase) return OnZoomCommand(window, wParam);
            return DefWindowProcA(window, message, wParam, lParam);
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

bool PresentFrame(const uint32_t* frame) {
    Display.frame = frame;
    InvalidateRect(Display.window, nullptr, TRUE);
    SendMessageA(Display.window, WM_PAINT, 0, 0);  // paints now and validates
    MSG msg;
    while (PeekMessageA(&msg,           /* message */
                        Display.window, /* this window's messages only */
                        0,              /* any message ... */
                        0,              /* ... of any number */
                        PM_REMOVE)) {   /* take it off the queue */
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    Sleep(0);  // give up the rest of the time slice
    return true;
}

void SetDisplayTitle(const char* title) {
    if (Display.window == nullptr) return;
    SendMessageA(Display.window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title));
}
