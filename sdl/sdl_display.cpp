// The SDL2 window: video driver choice, the window and its surface, per-frame
// presentation with the event drain, and the screen-saver switch.
#include "sdl/sdl_display.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include "cli/arg_text.h"  // QuoteForError: the display name stays on one line

namespace {

constexpr int kBytesPerPixel = 4;  // 0x00RRGGBB, SDL's RGB888 (XRGB8888)

struct SdlDisplay {
    SDL_Window* window = nullptr;
    SDL_Surface* picture = nullptr;  // the frame right side up, width x height, 0x00RRGGBB
    int width = 0;                   // picture size in pixels
    int height = 0;
    bool screensaver_was_enabled = false;  // restored on close
};

SdlDisplay display;

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

bool Fail(std::string* error, std::string text) {
    *error = std::move(text);
    return false;
}

// Starts SDL's video on a real display. Without an explicit SDL_VIDEODRIVER
// only the drivers for the displays the environment names are tried, so a
// missing or unreachable display is reported instead of SDL quietly falling
// back to its offscreen driver.
bool StartVideo(std::string* error) {
    if (IsSet("SDL_VIDEODRIVER")) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            return Fail(error, std::string("cannot start SDL video: ") + SDL_GetError());
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
        SDL_SetHint(SDL_HINT_VIDEODRIVER, c.driver);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
        if (!problems.empty()) problems += "; ";
        problems += std::string(c.variable) + "=" + QuoteForError(std::getenv(c.variable)) + " (" +
                    SDL_GetError() + ")";
    }
    if (problems.empty()) return Fail(error, "no display: neither DISPLAY nor WAYLAND_DISPLAY is set");
    return Fail(error, "cannot connect to the display " + problems);
#else
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        return Fail(error, std::string("cannot start SDL video: ") + SDL_GetError());
    }
    return true;
#endif
}

void SetZoom(int zoom) {
    SDL_SetWindowSize(display.window, display.width * zoom, display.height * zoom);
    const int index = SDL_GetWindowDisplayIndex(display.window);
    SDL_SetWindowPosition(display.window, SDL_WINDOWPOS_CENTERED_DISPLAY(index),
                          SDL_WINDOWPOS_CENTERED_DISPLAY(index));
}

// Handles a key press: the zoom keys.
void OnKeyDown(SDL_Keycode key) {
    switch (key) {
        case SDLK_1:
        case SDLK_KP_1:
            SetZoom(1);
            break;
        case SDLK_2:
        case SDLK_KP_2:
            SetZoom(2);
            break;
        case SDLK_4:
        case SDLK_KP_4:
            SetZoom(4);
            break;
        default:
            break;
    }
}

}  // namespace

bool OpenSdlDisplay(const char* caption, int width, int height, int zoom, std::string* error) {
    // The screen saver is switched below, explicitly, and put back on close.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    if (!StartVideo(error)) {
        SDL_Quit();
        return false;
    }
    // On X11 SDL's own window surface (shared memory where the server is
    // local) presents several times faster than the default, a texture
    // drawn through OpenGL, when that OpenGL runs in software, and costs
    // no GL driver or threads. Elsewhere the default is the only way.
    if (std::strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0) {
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    }
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
        *error = std::string("cannot open the window: ") + SDL_GetError();
        CloseSdlDisplay();
        return false;
    }
    display.screensaver_was_enabled = SDL_IsScreenSaverEnabled() == SDL_TRUE;
    SDL_DisableScreenSaver();
    return true;
}

bool PresentSdlFrame(const uint32_t* frame) {
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

    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        switch (event.type) {
            case SDL_QUIT:
                return false;
            case SDL_WINDOWEVENT:
                if (event.window.event == SDL_WINDOWEVENT_CLOSE) return false;
                break;
            case SDL_KEYDOWN:
                OnKeyDown(event.key.keysym.sym);
                break;
            case SDL_KEYUP:
                // Esc ends the program when it is released: a key already
                // held when the window gains focus arrives as a press only,
                // and the release does not go on to the next window.
                if (event.key.keysym.sym == SDLK_ESCAPE) return false;
                break;
            default:
                break;
        }
    }
    return true;
}

void SetSdlTitle(const char* title) { SDL_SetWindowTitle(display.window, title); }

void CloseSdlDisplay() {
    if (display.window != nullptr && display.screensaver_was_enabled) SDL_EnableScreenSaver();
    if (display.picture != nullptr) SDL_FreeSurface(display.picture);
    if (display.window != nullptr) SDL_DestroyWindow(display.window);
    display = SdlDisplay{};
    SDL_Quit();
}
