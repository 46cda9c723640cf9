// A given X window: looked at on a connection of its own before SDL takes
// it (SDL would take a size and visual without asking whether the window
// exists or can be drawn in), then watched for its destruction.
#include "sdl/given_window.h"

#include <SDL_syswm.h>
// Drawing in a given window needs SDL's X11 driver and Xlib (NOISE_WITH_X11).
#if defined(SDL_VIDEO_DRIVER_X11) && defined(NOISE_WITH_X11)
#define DRAWS_IN_X11_WINDOWS 1
#include <X11/Xlib.h>
#else
#define DRAWS_IN_X11_WINDOWS 0
#endif

#include <cstdio>
#include <cstring>
#include <string>

#include "loop/display.h"  // CloseDisplay
#include "sdl/display_connection.h"
#include "sdl/display_state.h"

namespace {

#if DRAWS_IN_X11_WINDOWS
// X errors are asynchronous: a window destroyed by its owner between two
// frames shows up as a BadWindow or BadDrawable error for a request already
// sent. Those end the display as its destruction does; others go on to the
// handler there was before.
volatile bool window_gone = false;
XErrorHandler earlier_x_errors = nullptr;
bool handling_errors = false;

int OnXError(Display* x_display, XErrorEvent* error) {
    if (error->error_code == BadWindow || error->error_code == BadDrawable) {
        window_gone = true;
        return 0;
    }
    return earlier_x_errors != nullptr ? earlier_x_errors(x_display, error) : 0;
}

// What window_id is on the display DISPLAY names: false when there is no
// such window, else its class in *input_only.
bool LookAtWindow(uint32_t window_id, bool* input_only) {
    Display* x_display = XOpenDisplay(nullptr);
    if (x_display == nullptr) return false;
    XWindowAttributes attributes{};
    const bool exists = XGetWindowAttributes(x_display, window_id, &attributes) != 0 && !window_gone;
    XCloseDisplay(x_display);
    window_gone = false;
    *input_only = exists && attributes.c_class == InputOnly;
    return exists;
}

bool OpenGivenWindow(uint32_t window_id, const char* id_text) {
    const auto fail = [&](const std::string& why) {
        return Fail(std::string("cannot draw in window ") + id_text + ": " + why);
    };
    if (!StartVideo()) return false;
    if (std::strcmp(SDL_GetCurrentVideoDriver(), "x11") != 0) return fail("not an X11 display");
    display.given_window = true;
    earlier_x_errors = XSetErrorHandler(OnXError);
    handling_errors = true;
    bool input_only = false;
    if (!LookAtWindow(window_id, &input_only)) return fail("no such window");
    // An InputOnly window has no pixels: every drawing request on it fails.
    if (input_only) return Fail(std::string("window ") + id_text + " cannot be drawn in (it is InputOnly)");
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    display.window = SDL_CreateWindowFrom(reinterpret_cast<void*>(static_cast<uintptr_t>(window_id)));
    if (display.window == nullptr || SDL_GetWindowWMInfo(display.window, &info) != SDL_TRUE ||
        info.subsystem != SDL_SYSWM_X11) {
        return fail(SDL_GetError());
    }
    // Its destruction is told to every client that asks for structure events
    // on it (resizes too); the mask is this client's own, so the owner's
    // stays as it is.
    Display* x_display = info.info.x11.display;
    const Window x_window = info.info.x11.window;
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(x_display, x_window, &attributes) == 0 || window_gone) {
        return fail("no such window");
    }
    XSelectInput(x_display, x_window, attributes.your_event_mask | StructureNotifyMask);
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    if (SDL_GetWindowSurface(display.window) == nullptr) return fail(SDL_GetError());
    return true;
}
#endif

}  // namespace

bool OpenDisplayInWindow(uint32_t window_id) {
    char id_text[16];
    std::snprintf(id_text, sizeof id_text, "0x%lx", static_cast<unsigned long>(window_id));
#if DRAWS_IN_X11_WINDOWS
    if (OpenBeforeDeadline([&] { return OpenGivenWindow(window_id, id_text); })) return true;
    CloseDisplay();
    return false;
#else
    return Fail(std::string("cannot draw in window ") + id_text + ": this build has no X11 support");
#endif
}

bool GivenWindowGone() {
#if DRAWS_IN_X11_WINDOWS
    return window_gone;
#else
    return false;
#endif
}

bool IsGivenWindowDestroyed(const SDL_Event& event) {
#if DRAWS_IN_X11_WINDOWS
    return event.type == SDL_SYSWMEVENT && event.syswm.msg->subsystem == SDL_SYSWM_X11 &&
           event.syswm.msg->msg.x11.event.type == DestroyNotify;
#else
    (void)event;
    return false;
#endif
}

void ReleaseGivenWindow() {
#if DRAWS_IN_X11_WINDOWS
    if (handling_errors) XSetErrorHandler(earlier_x_errors);
    handling_errors = false;
    earlier_x_errors = nullptr;
    window_gone = false;
#endif
}
