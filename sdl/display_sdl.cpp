// The SDL2 front end of the display seam (loop/display.h): video driver
// choice with a deadline for a display that does not answer, a window whose
// own surface the frame is stretched onto by whole factors (flipped right
// side up), the event drain with zoom keys and close requests, and the
// screen-saver switch.
#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "loop/display.h"
#include "platform/exit_signals.h"
#include "cli/arg_text.h"  // QuoteForError: the display name stays on one line

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
};

SdlDisplay display;
std::string error_text;  // DisplayError's line

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
    if (IsSet("SDL_VIDEODRIVER")) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            return Fail(std::string("cannot start SDL video: ") + SDL_GetError());
        }
        return true;
    }
#if defined(__unix__) && !defined(__APPLE__)
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
                                            !IsSet("XDG_RUNTIME_DIR") && std::getenv(c.variable)[0] != '/';
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
#else
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        return Fail(std::string("cannot start SDL video: ") + SDL_GetError());
    }
    return true;
#endif
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
        case SDL_KEYUP:
            // Esc ends the program when it is released: a key already held
            // when the window gains focus arrives as a press only, and the
            // release does not go on to the next window.
            return event.key.keysym.sym != SDLK_ESCAPE;
        default:
            return true;
    }
}

bool OpenWindow(const char* caption, int width, int height, int zoom) {
    // The screen saver is switched below, explicitly, and put back on close;
    // SIGTERM and SIGINT are the program's own (platform/exit_signals.h).
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

}  // namespace

bool OpenDisplay(const char* caption, int width, int height, int zoom) {
    // A display that accepts the connection but never answers would hold
    // SDL in its first read for ever.
    const std::string no_answer =
        "no answer within " + std::to_string(kAnswerSeconds) + " s from the display " + NamedDisplays();
    SetDeadline(kAnswerSeconds, no_answer.c_str(), kExitNoDisplay);
    const bool opened = OpenWindow(caption, width, height, zoom);
    SetDeadline(0, nullptr, 0);
    if (!opened) {
        CloseDisplay();
        return false;
    }
    display.screensaver_was_enabled = SDL_IsScreenSaverEnabled() == SDL_TRUE;
    SDL_DisableScreenSaver();
    return true;
}

const char* DisplayError() { return error_text.c_str(); }

bool PresentFrame(const uint32_t* frame) {
    // The frame's row 0 is the bottom row: copy the rows in reverse.
    const size_t row_bytes = static_cast<size_t>(display.width) * kBytesPerPixel;
    auto* rows = static_cast<uint8_t*>(display.picture->pixels);
    const auto pitch = static_cast<size_t>(display.picture->pitch);
    for (int r = 0; r < display.height; ++r) {
        std::memcpy(rows + static_cast<size_t>(display.height - 1 - r) * pitch,
                    frame + static_cast<size_t>(r) * static_cast<size_t>(display.width), row_bytes);
    }
    // The window's own surface, shared with the display server where it can
    // be; SDL makes a new one only when the window size changes. Scaling to
    // it repeats whole pixels (nearest neighbour).
    SDL_Surface* window_surface = SDL_GetWindowSurface(display.window);
    if (window_surface != nullptr) {
        SDL_BlitScaled(display.picture, nullptr, window_surface, nullptr);
        SDL_UpdateWindowSurface(display.window);
    }

    // One pump reads everything the display sent; the events are then
    // taken off SDL's queue in batches, with no further display traffic.
    SDL_PumpEvents();
    bool open = ExitSignal() == 0;
    SDL_Event events[kEventBatch];
    int count;
    while ((count = SDL_PeepEvents(events, kEventBatch, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT)) > 0) {
        for (int k = 0; k < count; ++k) open = TakeEvent(events[k]) && open;
    }
    return open;
}

int TakeZoomRequest() {
    const int zoom = display.zoom_request;
    display.zoom_request = 0;
    return zoom;
}

void SetDisplayZoom(int zoom) {
    SDL_SetWindowSize(display.window, display.width * zoom, display.height * zoom);
    const int index = SDL_GetWindowDisplayIndex(display.window);
    SDL_SetWindowPosition(display.window, SDL_WINDOWPOS_CENTERED_DISPLAY(index),
                          SDL_WINDOWPOS_CENTERED_DISPLAY(index));
}

void SetDisplayTitle(const char* title) {
    if (display.window != nullptr) SDL_SetWindowTitle(display.window, title);
}

void CloseDisplay() {
    if (display.window != nullptr && display.screensaver_was_enabled) SDL_EnableScreenSaver();
    if (display.picture != nullptr) SDL_FreeSurface(display.picture);
    if (display.window != nullptr) SDL_DestroyWindow(display.window);
    display = SdlDisplay{};
    SDL_Quit();
}
