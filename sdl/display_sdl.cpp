// The SDL2 front end of the display seam (loop/display.h): video driver
// choice with a deadline for a display that does not answer, a window whose
// own surface the frame is stretched onto by whole factors (flipped right
// side up), the event drain with zoom keys and close requests, and the
// screen-saver switch; or, as an X screen-saver hack, another program's
// window that the frame is stretched over (sdl/display_sdl.h).
#include "sdl/display_sdl.h"

#include <SDL.h>
#include <SDL_syswm.h>
// Drawing in a given window needs SDL's X11 driver and Xlib (NOISE_WITH_X11).
#if defined(SDL_VIDEO_DRIVER_X11) && defined(NOISE_WITH_X11)
#define DRAWS_IN_X11_WINDOWS 1
#include <X11/Xlib.h>
#else
#define DRAWS_IN_X11_WINDOWS 0
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "cli/arg_text.h"  // QuoteForError: the display name stays on one line
#include "loop/display.h"
#include "platform/exit_signals.h"

namespace {

constexpr int kBytesPerPixel = 4;       // 0x00RRGGBB, SDL's RGB888 (XRGB8888)
constexpr unsigned kAnswerSeconds = 5;  // how long the display may take to answer at start-up
constexpr int kExitNoDisplay = 1;       // the program's exit code when it cannot start
constexpr int kEventBatch = 64;         // events taken off SDL's queue at a time

struct SdlDisplay {
    SDL_Window* window = nullptr;
    SDL_Surface* picture = nullptr;  // the frame right side up, width x height, 0x00RRGGBB
    int width = 0;                   // picture size in pixels
    int height = 0;
    bool screensaver_was_enabled = false;  // restored on close
    int zoom_request = 0;                  // last zoom key since TakeZoomRequest, 0 for none
    bool given_window = false;             // drawing in another program's window
    std::vector<int> columns;              // in a given window: the picture column of each window column
    char rate_text[32] = {};               // in a given window: the rate drawn in the corner
};

SdlDisplay display;
std::string error_text;  // DisplayError's line

#if DRAWS_IN_X11_WINDOWS
// X errors are asynchronous: a window destroyed by its owner between two
// frames shows up as a BadWindow or BadDrawable error for a request already
// sent. Those end the display as its destruction does; others go on to the
// handler there was before.
volatile bool window_gone = false;
XErrorHandler earlier_x_errors = nullptr;

int OnXError(Display* x_display, XErrorEvent* error) {
    if (error->error_code == BadWindow || error->error_code == BadDrawable) {
        window_gone = true;
        return 0;
    }
    return earlier_x_errors != nullptr ? earlier_x_errors(x_display, error) : 0;
}

// Whether window_id names a window on the display DISPLAY names.
bool WindowExists(uint32_t window_id) {
    Display* x_display = XOpenDisplay(nullptr);
    if (x_display == nullptr) return false;
    XWindowAttributes attributes{};
    const bool exists = XGetWindowAttributes(x_display, window_id, &attributes) != 0 && !window_gone;
    XCloseDisplay(x_display);
    window_gone = false;
    return exists;
}
#endif

// The rate drawn in a given window's corner: 3 x 5 pixel glyphs, each row
// three bits, the top row in the highest bits.
struct Glyph {
    char c;
    uint16_t rows;
};
constexpr Glyph kGlyphs[] = {
    {'0', 0b111'101'101'101'111}, {'1', 0b010'110'010'010'111}, {'2', 0b111'001'111'100'111},
    {'3', 0b111'001'111'001'111}, {'4', 0b101'101'111'001'001}, {'5', 0b111'100'111'001'111},
    {'6', 0b111'100'111'101'111}, {'7', 0b111'001'001'001'001}, {'8', 0b111'101'111'101'111},
    {'9', 0b111'101'111'001'111}, {'.', 0b000'000'000'000'010}, {'f', 0b011'010'111'010'010},
    {'p', 0b111'101'111'100'100}, {'s', 0b011'100'010'001'110}, {' ', 0},
};
constexpr uint32_t kTextColour = 0xFFFFFF;
constexpr uint32_t kTextBackground = 0x000000;

// Row y of a 32-bit surface.
uint32_t* RowOf(const SDL_Surface* surface, int y) {
    return reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(surface->pixels) +
                                       static_cast<size_t>(y) * static_cast<size_t>(surface->pitch));
}

// Draws display.rate_text in white on black at the picture's top-left corner.
void DrawRateText() {
    const size_t length = std::strlen(display.rate_text);
    if (length == 0) return;
    const int box_width = std::min(static_cast<int>(length) * 4 + 1, display.width);
    const int box_height = std::min(7, display.height);
    for (int y = 0; y < box_height; ++y) std::fill_n(RowOf(display.picture, y), box_width, kTextBackground);
    for (size_t k = 0; k < length; ++k) {
        uint16_t rows = 0;
        for (const Glyph& g : kGlyphs) {
            if (g.c == display.rate_text[k]) rows = g.rows;
        }
        for (int y = 0; y < 5 && y + 1 < box_height; ++y) {
            uint32_t* row = RowOf(display.picture, y + 1);
            for (int x = 0; x < 3; ++x) {
                const int column = 1 + static_cast<int>(k) * 4 + x;
                if (column < display.width && (rows >> (14 - 3 * y - x) & 1u) != 0) row[column] = kTextColour;
            }
        }
    }
}

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

// Keeps text as DisplayError's line.
bool Fail(std::string text) {
    error_text = std::move(text);
    return false;
}

// The displays the environment names, quoted, for messages.
std::string NamedDisplays() {
    std::string names;
    for (const char* variable : {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (!IsSet(variable)) continue;
        if (!names.empty()) names += ", ";
        names += std::string(variable) + "=" + QuoteForError(std::getenv(variable));
    }
    return names;
}

// Starts SDL's video on a real display. Without an explicit SDL_VIDEODRIVER
// only the drivers for the displays the environment names are tried, so a
// missing or unreachable display is reported instead of SDL quietly falling
// back to its offscreen driver.
bool StartVideo() {
#if defined(__unix__) && !defined(__APPLE__)
    if (!IsSet("SDL_VIDEODRIVER")) {
        struct Candidate {
            const char* variable;  // environment variable naming the display
            const char* driver;    // SDL video driver for it
        };
        // SDL's own order: X11 (also XWayland) first.
        constexpr Candidate kCandidates[] = {{"DISPLAY", "x11"}, {"WAYLAND_DISPLAY", "wayland"}};
        std::string problems;
        for (const Candidate& c : kCandidates) {
            if (!IsSet(c.variable)) continue;
            // The Wayland library finds a relative socket name only through
            // XDG_RUNTIME_DIR, and says so on standard error itself.
            const bool wayland_without_folder = std::strcmp(c.driver, "wayland") == 0 &&
                                                !IsSet("XDG_RUNTIME_DIR") &&
                                                std::getenv(c.variable)[0] != '/';
            if (!problems.empty()) problems += "; ";
            problems += std::string(c.variable) + "=" + QuoteForError(std::getenv(c.variable));
            if (wayland_without_folder) {
                problems += " (XDG_RUNTIME_DIR is not set)";
                continue;
            }
            SDL_SetHint(SDL_HINT_VIDEODRIVER, c.driver);
            if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
            problems += std::string(" (") + SDL_GetError() + ")";
        }
        if (problems.empty()) return Fail("no display: neither DISPLAY nor WAYLAND_DISPLAY is set");
        return Fail("cannot connect to the display " + problems);
    }
#endif
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        return Fail(std::string("cannot start SDL video: ") + SDL_GetError());
    }
    return true;
}

// The zoom factor a key asks for; 0 for other keys.
int ZoomOfKey(SDL_Keycode key) {
    if (key == SDLK_1 || key == SDLK_KP_1) return 1;
    if (key == SDLK_2 || key == SDLK_KP_2) return 2;
    if (key == SDLK_4 || key == SDLK_KP_4) return 4;
    return 0;
}

// Takes in one event; false when it asks the window to close.
bool TakeEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT:
            return false;
        case SDL_WINDOWEVENT:
            return event.window.event != SDL_WINDOWEVENT_CLOSE;
        case SDL_KEYDOWN:
            if (const int zoom = ZoomOfKey(event.key.keysym.sym)) display.zoom_request = zoom;
            return true;
#if DRAWS_IN_X11_WINDOWS
        case SDL_SYSWMEVENT:
            // Only a given window's own destruction is looked at.
            return !(display.given_window && event.syswm.msg->subsystem == SDL_SYSWM_X11 &&
                     event.syswm.msg->msg.x11.event.type == DestroyNotify);
#endif
        case SDL_KEYUP:
            // Esc ends the program when it is released: a key already held
            // when the window gains focus arrives as a press only, and the
            // release does not go on to the next window.
            return event.key.keysym.sym != SDLK_ESCAPE;
        default:
            return true;
    }
}

// Starts SDL's video for width x height frames, own window or given. SDL
// leaves the screen saver alone: the own window switches it explicitly and
// puts it back on close, and a screen-saver hack must not hold it off.
// SIGTERM and SIGINT are the program's own (platform/exit_signals.h).
bool StartDisplay(int width, int height) {
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (!StartVideo()) return false;
    // On X11 SDL's own window surface (shared memory where the server is
    // local) presents several times faster than the default, a texture
    // drawn through OpenGL, when that OpenGL runs in software, and costs
    // no GL driver or threads. Elsewhere the default is the only way.
    if (std::strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0) {
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    }
    // Keys are read as keys: no text events, and no input method to ask.
    SDL_StopTextInput();
    display.width = width;
    display.height = height;
    return true;
}

bool OpenWindow(const char* caption, int width, int height, int zoom) {
    if (!StartDisplay(width, height)) return false;
    display.window = SDL_CreateWindow(caption,                 //
                                      SDL_WINDOWPOS_CENTERED,  // x
                                      SDL_WINDOWPOS_CENTERED,  // y
                                      width * zoom,            // client width
                                      height * zoom,           // client height
                                      0);                      // shown, fixed size
    if (display.window != nullptr) {
        display.picture = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGB888);
    }
    if (display.picture == nullptr || SDL_GetWindowSurface(display.window) == nullptr) {
        return Fail(std::string("cannot open the window: ") + SDL_GetError());
    }
    return true;
}

// Opens the display in the X window window_id (OpenDisplayInWindow).
bool OpenGivenWindow(uint32_t window_id, int width, int height) {
    char id_text[16];
    std::snprintf(id_text, sizeof id_text, "0x%lx", static_cast<unsigned long>(window_id));
    const auto fail = [&](const std::string& why) {
        return Fail(std::string("cannot draw in window ") + id_text + ": " + why);
    };
#if DRAWS_IN_X11_WINDOWS
    if (!StartDisplay(width, height)) return false;
    if (std::strcmp(SDL_GetCurrentVideoDriver(), "x11") != 0) return fail("not an X11 display");
    display.given_window = true;
    // SDL takes the window's size and visual without looking whether it
    // exists; a window id that names no window is checked first, on a
    // connection of its own, its error going to the handler.
    earlier_x_errors = XSetErrorHandler(OnXError);
    if (!WindowExists(window_id)) return fail("no such window");
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    display.window = SDL_CreateWindowFrom(reinterpret_cast<void*>(static_cast<uintptr_t>(window_id)));
    if (display.window == nullptr || SDL_GetWindowWMInfo(display.window, &info) != SDL_TRUE ||
        info.subsystem != SDL_SYSWM_X11) {
        return fail(SDL_GetError());
    }
    // Its destruction is told to every client that asks for structure events
    // on it; the mask is this client's own, so the owner's stays as it is.
    Display* x_display = info.info.x11.display;
    const Window x_window = info.info.x11.window;
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(x_display, x_window, &attributes) == 0 || window_gone) {
        return fail("no such window");
    }
    XSelectInput(x_display, x_window, attributes.your_event_mask | StructureNotifyMask);
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    display.picture = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGB888);
    if (display.picture == nullptr || SDL_GetWindowSurface(display.window) == nullptr) {
        return fail(SDL_GetError());
    }
    return true;
#else
    (void)width;
    (void)height;
    return fail("this build has no X11 support");
#endif
}

// Stretches the picture over the whole of surface (also 0x00RRGGBB) by
// nearest neighbour: each window row that shows the same picture row as the
// one above is a copy of it, so only one row in several is looked up column
// by column. A few times faster than SDL_BlitScaled at full-screen sizes,
// which a hack pays on every frame.
void StretchPicture(SDL_Surface* surface) {
    const int width = surface->w;
    const int height = surface->h;
    if (static_cast<int>(display.columns.size()) != width) {
        display.columns.resize(static_cast<size_t>(width));
        for (int x = 0; x < width; ++x) {
            display.columns[static_cast<size_t>(x)] =
                static_cast<int>(static_cast<int64_t>(x) * display.width / width);
        }
    }
    const auto row_bytes = static_cast<size_t>(width) * kBytesPerPixel;
    int shown = -1;  // the picture row the window row above shows
    for (int y = 0; y < height; ++y) {
        uint32_t* row = RowOf(surface, y);
        const int source = static_cast<int>(static_cast<int64_t>(y) * display.height / height);
        if (source == shown) {
            std::memcpy(row, RowOf(surface, y - 1), row_bytes);
            continue;
        }
        const uint32_t* from = RowOf(display.picture, source);
        for (int x = 0; x < width; ++x) row[x] = from[display.columns[static_cast<size_t>(x)]];
        shown = source;
    }
}

// Runs open under a deadline: a display that accepts the connection but
// never answers would hold SDL in its first read for ever. Closes what was
// opened when it fails.
template <typename Open>
bool OpenBeforeDeadline(Open open) {
    const std::string no_answer =
        "no answer within " + std::to_string(kAnswerSeconds) + " s from the display " + NamedDisplays();
    SetDeadline(kAnswerSeconds, no_answer.c_str(), kExitNoDisplay);
    const bool opened = open();
    SetDeadline(0, nullptr, 0);
    if (!opened) CloseDisplay();
    return opened;
}

}  // namespace

bool OpenDisplay(const char* caption, int width, int height, int zoom) {
    if (!OpenBeforeDeadline([&] { return OpenWindow(caption, width, height, zoom); })) return false;
    display.screensaver_was_enabled = SDL_IsScreenSaverEnabled() == SDL_TRUE;
    SDL_DisableScreenSaver();
    return true;
}

const char* DisplayError() { return error_text.c_str(); }

bool PresentFrame(const uint32_t* frame) {
    // The frame's row 0 is the bottom row: copy the rows in reverse.
    const size_t row_bytes = static_cast<size_t>(display.width) * kBytesPerPixel;
    for (int r = 0; r < display.height; ++r) {
        std::memcpy(RowOf(display.picture, display.height - 1 - r),
                    frame + static_cast<size_t>(r) * static_cast<size_t>(display.width), row_bytes);
    }
    if (display.given_window) DrawRateText();
    // The window's own surface, shared with the display server where it can
    // be; SDL makes a new one only when the window size changes. Scaling to
    // it repeats pixels (nearest neighbour), so only palette colours show.
    SDL_Surface* window_surface = SDL_GetWindowSurface(display.window);
    if (window_surface != nullptr) {
        if (display.given_window && window_surface->format->format == SDL_PIXELFORMAT_RGB888 &&
            !SDL_MUSTLOCK(window_surface)) {
            StretchPicture(window_surface);
        } else {
            SDL_BlitScaled(display.picture, nullptr, window_surface, nullptr);
        }
        SDL_UpdateWindowSurface(display.window);
    }

    // One pump reads everything the display sent; the events are then
    // taken off SDL's queue in batches, with no further display traffic.
    SDL_PumpEvents();
    bool open = ExitSignal() == 0;
#if DRAWS_IN_X11_WINDOWS
    open = open && !window_gone;
#endif
    SDL_Event events[kEventBatch];
    int count;
    while ((count = SDL_PeepEvents(events, kEventBatch, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT)) > 0) {
        for (int k = 0; k < count; ++k) open = TakeEvent(events[k]) && open;
    }
    return open;
}

int TakeZoomRequest() { return std::exchange(display.zoom_request, 0); }

void SetDisplayZoom(int zoom) {
    SDL_SetWindowSize(display.window, display.width * zoom, display.height * zoom);
    const int index = SDL_GetWindowDisplayIndex(display.window);
    SDL_SetWindowPosition(display.window, SDL_WINDOWPOS_CENTERED_DISPLAY(index),
                          SDL_WINDOWPOS_CENTERED_DISPLAY(index));
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
}

int DisplayRefreshRate() {
    if (display.window == nullptr) return 0;
    SDL_DisplayMode mode{};
    const int index = SDL_GetWindowDisplayIndex(display.window);
    if (index < 0 || SDL_GetCurrentDisplayMode(index, &mode) != 0) return 0;
    return mode.refresh_rate;
}

bool OpenDisplayInWindow(uint32_t window_id, int width, int height) {
    return OpenBeforeDeadline([&] { return OpenGivenWindow(window_id, width, height); });
}

void CloseDisplay() {
#if DRAWS_IN_X11_WINDOWS
    if (display.given_window) {
        XSetErrorHandler(earlier_x_errors);  // Xlib's handler is the process's, not the window's
        window_gone = false;
    }
#endif
    if (display.window != nullptr && display.screensaver_was_enabled) SDL_EnableScreenSaver();
    if (display.picture != nullptr) SDL_FreeSurface(display.picture);
    if (display.window != nullptr) SDL_DestroyWindow(display.window);
    display = SdlDisplay{};
    SDL_Quit();
}
