// The connection to the display: the video driver chosen from the displays
// the environment names, the start-up deadline, and the line for a display
// lost mid-run (Xlib's own two lines would name neither the program nor
// what happened in its words).
#include "sdl/display_connection.h"

#include <SDL.h>
// Xlib reports a lost connection (NOISE_WITH_X11).
#if defined(SDL_VIDEO_DRIVER_X11) && defined(NOISE_WITH_X11)
#define WATCHES_X11_CONNECTION 1
#include <X11/Xlib.h>
#else
#define WATCHES_X11_CONNECTION 0
#endif

#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/arg_text.h"  // QuoteForError: the display name stays on one line
#include "platform/exit_signals.h"
#include "sdl/display_state.h"

namespace {

constexpr unsigned kAnswerSeconds = 5;  // how long the display may take to answer at start-up

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

#if WATCHES_X11_CONNECTION
// Xlib calls this once the connection to the X server is broken (the
// server ended, or the socket closed); it must not return. Nothing can be
// put back on a display that is gone, so the process ends at once.
int OnLostDisplay(Display* x_display) {
    const std::string line =
        "lost the connection to the display DISPLAY=" + QuoteForError(DisplayString(x_display));
    ExitAtOnce(line.c_str(), kExitNoDisplay);
}
#endif

// Starts SDL's video subsystem. Without an explicit SDL_VIDEODRIVER only
// the drivers for the displays the environment names are tried, so a
// missing or unreachable display is reported instead of SDL quietly falling
// back to its offscreen driver.
bool StartDriver() {
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

}  // namespace

std::string NamedDisplays() {
    std::string names;
    for (const char* variable : {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (!IsSet(variable)) continue;
        if (!names.empty()) names += ", ";
        names += std::string(variable) + "=" + QuoteForError(std::getenv(variable));
    }
    return names;
}

bool StartVideo() {
    // SIGTERM and SIGINT are the program's own (platform/exit_signals.h).
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (!StartDriver()) return false;
    if (std::strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0) {
        // SDL's own window surface (shared memory where the server is
        // local) presents several times faster than the default, a texture
        // drawn through OpenGL, when that OpenGL runs in software, and
        // costs no GL driver or threads. Elsewhere the default is the only way.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
#if WATCHES_X11_CONNECTION
        XSetIOErrorHandler(OnLostDisplay);
#endif
    }
    // Keys are read as keys: no text events, and no input method to ask.
    SDL_StopTextInput();
    return true;
}

bool OpenBeforeDeadline(const std::function<bool()>& open) {
    const std::string no_answer =
        "no answer within " + std::to_string(kAnswerSeconds) + " s from the display " + NamedDisplays();
    SetDeadline(kAnswerSeconds, no_answer.c_str(), kExitNoDisplay);
    const bool opened = open();
    SetDeadline(0, nullptr, 0);
    return opened;
}
