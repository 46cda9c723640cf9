// The SDL2 front end of the display seam (loop/display.h) and the program's
// own window: frames copied right side up onto the window's own surface,
// 1:1 where the sizes match; the event drain with zoom, full-screen keys
// and close requests; the icon; and the screen-saver switch. The same
// presentation serves a window given (sdl/given_window.h).
#include "sdl/display_sdl.h"

#include <SDL.h>
#include <SDL_syswm.h>
// Full screen on an X display without a window manager needs Xlib (NOISE_WITH_X11).
#if defined(SDL_VIDEO_DRIVER_X11) && defined(NOISE_WITH_X11)
#define PLACES_X11_WINDOWS 1
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#else
#define PLACES_X11_WINDOWS 0
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "loop/display.h"
#include "loop/frame_loop.h"  // IsZoomFactor
#include "platform/exit_signals.h"
#include "render/frame_shape.h"
#include "sdl/digit_font.h"
#include "sdl/display_connection.h"
#include "sdl/display_state.h"
#include "sdl/given_window.h"
#include "window_icon.h"  // kWindowIconSide, kWindowIcon: drawn by resources/make_icon.py

SdlDisplay display;

bool Fail(std::string text) {
    display.error_text = std::move(text);
    return false;
}

namespace {

constexpr int kBytesPerPixel = 4;  // 0x00RRGGBB, SDL's RGB888 (XRGB8888)
constexpr int kEventBatch = 64;    // events taken off SDL's queue at a time

// Row y of a 32-bit surface.
uint32_t* RowOf(const SDL_Surface* surface, int y) {
    return reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(surface->pixels) +
                                       static_cast<size_t>(y) * static_cast<size_t>(surface->pitch));
}

// The zoom factor a key asks for; 0 for other keys.
int ZoomOfKey(SDL_Keycode key) {
    int zoom = 0;
    if (key >= SDLK_1 && key <= SDLK_9) zoom = static_cast<int>(key - SDLK_0);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) zoom = static_cast<int>(key - SDLK_KP_1) + 1;
    return IsZoomFactor(zoom) ? zoom : 0;
}

// F11, or Alt with Enter: full screen on or off.
bool IsFullscreenKey(const SDL_KeyboardEvent& key) {
    if (key.repeat != 0) return false;
    const SDL_Keycode code = key.keysym.sym;
    return code == SDLK_F11 ||
           ((code == SDLK_RETURN || code == SDLK_KP_ENTER) && (key.keysym.mod & KMOD_ALT) != 0);
}

// Takes in one event; false when it asks the window to close.
bool TakeEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT:
            return false;
        case SDL_WINDOWEVENT:
            // A new size or a new surface: the next frame is drawn afresh.
            display.shown = false;
            return event.window.event != SDL_WINDOWEVENT_CLOSE;
        case SDL_KEYDOWN:
            if (display.given_window) return true;
            if (const int zoom = ZoomOfKey(event.key.keysym.sym)) display.zoom_request = zoom;
            if (IsFullscreenKey(event.key)) display.fullscreen_toggle = !display.fullscreen_toggle;
            return true;
        case SDL_SYSWMEVENT:
            // Only a given window's own destruction is looked at.
            return !(display.given_window && IsGivenWindowDestroyed(event));
        case SDL_KEYUP:
            // Esc ends the program when it is released: a key already held
            // when the window gains focus arrives as a press only, and the
            // release does not go on to the next window.
            return event.key.keysym.sym != SDLK_ESCAPE;
        default:
            return true;
    }
}

// Takes in every pending event; false once the display is gone or asked to
// close. One pump reads everything the display sent; the events are then
// taken off SDL's queue in batches, with no further display traffic.
bool TakeEvents() {
    SDL_PumpEvents();
    bool open = ExitSignal() == 0 && !(display.given_window && GivenWindowGone());
    SDL_Event events[kEventBatch];
    int count;
    while ((count = SDL_PeepEvents(events, kEventBatch, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT)) > 0) {
        for (int k = 0; k < count; ++k) open = TakeEvent(events[k]) && open;
    }
    return open;
}

// Frames of at least this many pixels (4 MiB of them) are copied to the
// surface by streaming stores: the surface is only read again by the X
// server, and plain stores would first read every line of it into the cache.
constexpr int64_t kStreamCopyFromPixels = int64_t{1} << 20;

// n pixels from from to to, those from to's first 16-byte boundary on by streaming stores.
void StreamPixels(const uint32_t* from, int n, uint32_t* to) {
    int c = 0;
#if defined(__SSE2__)
    for (; c < n && reinterpret_cast<uintptr_t>(to + c) % 16 != 0; ++c) to[c] = from[c];
    for (; c + 16 <= n; c += 16) {
        for (int q = 0; q < 16; q += 4) {
            _mm_stream_si128(reinterpret_cast<__m128i*>(to + c + q),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + c + q)));
        }
    }
#endif
    for (; c < n; ++c) to[c] = from[c];
}

// Copies frame (row 0 at the bottom) into surface, of the same size and
// 0x00RRGGBB, top row first.
void CopyFlipped(const SizedFrame& frame, SDL_Surface* surface) {
    const size_t row_bytes = static_cast<size_t>(frame.width) * kBytesPerPixel;
    const bool stream = int64_t{frame.width} * frame.height >= kStreamCopyFromPixels;
    for (int r = 0; r < frame.height; ++r) {
        uint32_t* to = RowOf(surface, frame.height - 1 - r);
        const uint32_t* from = frame.pixels + static_cast<size_t>(r) * static_cast<size_t>(frame.width);
        if (stream) {
            StreamPixels(from, frame.width, to);
        } else {
            std::memcpy(to, from, row_bytes);
        }
    }
#if defined(__SSE2__)
    if (stream) _mm_sfence();
#endif
}

bool CopiesDirectly(const SizedFrame& frame, const SDL_Surface* surface) {
    return surface->format->format == SDL_PIXELFORMAT_RGB888 && !SDL_MUSTLOCK(surface) &&
           surface->w == frame.width && surface->h == frame.height;
}

// The rate in a given window's corner, drawn over the frame on its surface.
void DrawRateText(SDL_Surface* surface) {
    if (display.given_window && !SDL_MUSTLOCK(surface)) {
        DrawCornerText(static_cast<uint32_t*>(surface->pixels), surface->pitch, surface->w, surface->h,
                       display.rate_text);
    }
}

// Draws frame onto the window's surface, unless the surface already holds
// it: 1:1 where the sizes match (the window's own size is what frames are
// rendered at), else through a picture of the frame's size stretched by
// SDL, for the frame or two after a resize and for other pixel formats.
void DrawFrame(const SizedFrame& frame, SDL_Surface* surface) {
    if (display.shown && display.shown_number == frame.number && display.shown_surface == surface &&
        display.shown_pixels == surface->pixels && display.shown_width == surface->w &&
        display.shown_height == surface->h) {
        return;
    }
    if (CopiesDirectly(frame, surface)) {
        CopyFlipped(frame, surface);
    } else {
        if (display.picture == nullptr || display.picture->w != frame.width || display.picture->h != frame.height) {
            SDL_FreeSurface(display.picture);
            display.picture =
                SDL_CreateRGBSurfaceWithFormat(0, frame.width, frame.height, 32, SDL_PIXELFORMAT_RGB888);
            if (display.picture == nullptr) return;
        }
        CopyFlipped(frame, display.picture);
        SDL_BlitScaled(display.picture, nullptr, surface, nullptr);
    }
    DrawRateText(surface);
    display.shown = true;
    display.shown_number = frame.number;
    display.shown_surface = surface;
    display.shown_pixels = surface->pixels;
    display.shown_width = surface->w;
    display.shown_height = surface->h;
}

bool IsFullscreen() { return (SDL_GetWindowFlags(display.window) & SDL_WINDOW_FULLSCREEN) != 0; }

#if PLACES_X11_WINDOWS
// Whether a window manager runs on the X display: one names its check
// window on the root window (_NET_SUPPORTING_WM_CHECK).
bool HasWindowManager(Display* x_display) {
    const Atom check = XInternAtom(x_display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const bool found = XGetWindowProperty(x_display, DefaultRootWindow(x_display), check, 0, 1, False, XA_WINDOW,
                                          &type, &format, &count, &after, &data) == Success &&
                       count == 1;
    if (data != nullptr) XFree(data);
    return found;
}
#endif

// SDL asks the window manager to make a window full screen; with none on
// an X display nobody would, so the X window is moved and sized to the
// display's bounds here.
void FillDisplayWithoutWindowManager() {
#if PLACES_X11_WINDOWS
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(display.window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11 ||
        HasWindowManager(info.info.x11.display)) {
        return;
    }
    SDL_Rect bounds{};
    if (SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(display.window), &bounds) != 0) return;
    XMoveResizeWindow(info.info.x11.display, info.info.x11.window, bounds.x, bounds.y,
                      static_cast<unsigned>(bounds.w), static_cast<unsigned>(bounds.h));
    XFlush(info.info.x11.display);
#endif
}

// Switches full screen on or off, as F11 or Alt+Enter asked. Out of full
// screen the window gets back the place and size it had before.
void ToggleFullscreen() {
    if (!IsFullscreen()) {
        SDL_GetWindowPosition(display.window, &display.windowed.x, &display.windowed.y);
        SDL_GetWindowSize(display.window, &display.windowed.w, &display.windowed.h);
        SDL_SetWindowFullscreen(display.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
        FillDisplayWithoutWindowManager();
    } else {
        SDL_SetWindowFullscreen(display.window, 0);
        SDL_SetWindowSize(display.window, display.windowed.w, display.windowed.h);
        SDL_SetWindowPosition(display.window, display.windowed.x, display.windowed.y);
    }
    display.shown = false;
}

// The window manager's icon for the window: the icon the package installs,
// from the same drawing.
void SetIcon() {
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<uint32_t*>(kWindowIcon), kWindowIconSide, kWindowIconSide, 32,
        kWindowIconSide * kBytesPerPixel, SDL_PIXELFORMAT_ARGB8888);
    if (icon == nullptr) return;
    SDL_SetWindowIcon(display.window, icon);
    SDL_FreeSurface(icon);
}

}  // namespace

bool OpenOwnWindow(const char* caption, int width, int height, bool fullscreen) {
    const bool opened = OpenBeforeDeadline([&] {
        if (!StartVideo()) return false;
        display.window = SDL_CreateWindow(caption,                 //
                                          SDL_WINDOWPOS_CENTERED,  // x
                                          SDL_WINDOWPOS_CENTERED,  // y
                                          width,                   // client width
                                          height,                  // client height
                                          SDL_WINDOW_RESIZABLE | (fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0));
        if (display.window == nullptr || SDL_GetWindowSurface(display.window) == nullptr) {
            return Fail(std::string("cannot open the window: ") + SDL_GetError());
        }
        return true;
    });
    if (!opened) {
        CloseDisplay();
        return false;
    }
    SetIcon();
    display.windowed = {SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height};
    if (fullscreen) FillDisplayWithoutWindowManager();
    display.screensaver_was_enabled = SDL_IsScreenSaverEnabled() == SDL_TRUE;
    SDL_DisableScreenSaver();
    return true;
}

bool OpenDisplay(const char* caption, int width, int height, int zoom) {
    if (!OpenOwnWindow(caption, width * zoom, height * zoom, false)) return false;
    display.open_width = width;
    display.open_height = height;
    return true;
}

const char* DisplayError() { return display.error_text.c_str(); }

namespace {

// Takes in every pending event and applies a full-screen key; false once
// the display is gone or asked to close.
bool TakeInput() {
    const bool open = TakeEvents();
    if (open && display.fullscreen_toggle) {
        display.fullscreen_toggle = false;
        ToggleFullscreen();
    }
    return open;
}

}  // namespace

bool PresentSizedFrame(const SizedFrame& frame) {
    // The window's own surface, shared with the display server where it can
    // be; SDL makes a new one when the window size changes.
    SDL_Surface* surface = SDL_GetWindowSurface(display.window);
    if (surface != nullptr && frame.pixels != nullptr && frame.width > 0 && frame.height > 0) {
        DrawFrame(frame, surface);
        SDL_UpdateWindowSurface(display.window);
    }
    return TakeInput();
}

// The window's surface itself, where it is the frame's size and 0x00RRGGBB
// with whole pixels a row: its last row is the frame's row 0. Events (the
// only thing that makes SDL replace the surface) are taken in only after
// the frame is presented.
bool BeginDirectFrame(int width, int height, DirectFrame* frame) {
    SDL_Surface* surface = SDL_GetWindowSurface(display.window);
    if (surface == nullptr || width <= 0 || height <= 0 || surface->pitch % kBytesPerPixel != 0 ||
        !CopiesDirectly(SizedFrame{nullptr, width, height, 0}, surface)) {
        return false;
    }
    frame->row0 = RowOf(surface, height - 1);
    frame->stride = -static_cast<ptrdiff_t>(surface->pitch / kBytesPerPixel);
    frame->width = width;
    frame->height = height;
    return true;
}

bool PresentDirectFrame() {
    SDL_Surface* surface = SDL_GetWindowSurface(display.window);
    if (surface != nullptr) {
        DrawRateText(surface);
        display.shown = false;  // the surface holds no numbered frame
        SDL_UpdateWindowSurface(display.window);
    }
    return TakeInput();
}

bool PresentFrame(const uint32_t* frame) {
    return PresentSizedFrame({frame, display.open_width, display.open_height, ++display.presented});
}

int TakeZoomRequest() { return std::exchange(display.zoom_request, 0); }

void SetDisplayZoom(int zoom) {
    if (IsFullscreen()) SDL_SetWindowFullscreen(display.window, 0);
    SDL_SetWindowSize(display.window, kBaseWidth * zoom, kBaseHeight * zoom);
    const int index = SDL_GetWindowDisplayIndex(display.window);
    SDL_SetWindowPosition(display.window, SDL_WINDOWPOS_CENTERED_DISPLAY(index),
                          SDL_WINDOWPOS_CENTERED_DISPLAY(index));
    display.shown = false;
}

void SetDisplayTitle(const char* title) {
    if (display.window == nullptr) return;
    if (!display.given_window) {
        SDL_SetWindowTitle(display.window, title);
        return;
    }
    // A given window's title is its owner's: only the rate is drawn, from
    // its first digit on ("59.98 fps").
    const char* rate = std::strpbrk(title, "0123456789");
    if (rate == nullptr) rate = "";
    std::strncpy(display.rate_text, rate, sizeof display.rate_text - 1);
    display.shown = false;
}

void DisplayPixelSize(int* width, int* height) {
    *width = 1;
    *height = 1;
    if (display.window == nullptr) return;
    SDL_GetWindowSizeInPixels(display.window, width, height);
    *width = std::max(*width, 1);
    *height = std::max(*height, 1);
}

int DisplayRefreshRate() {
    if (display.window == nullptr) return 0;
    SDL_DisplayMode mode{};
    const int index = SDL_GetWindowDisplayIndex(display.window);
    if (index < 0 || SDL_GetCurrentDisplayMode(index, &mode) != 0) return 0;
    return mode.refresh_rate;
}

void CloseDisplay() {
    if (display.given_window) ReleaseGivenWindow();
    if (display.window != nullptr && display.screensaver_was_enabled) SDL_EnableScreenSaver();
    SDL_FreeSurface(display.picture);
    if (display.window != nullptr) SDL_DestroyWindow(display.window);
    std::string error = std::move(display.error_text);  // DisplayError's line outlives the display
    display = SdlDisplay{};
    display.error_text = std::move(error);
    SDL_Quit();
}
