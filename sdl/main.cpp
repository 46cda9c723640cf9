// noise-animation, the native program: the animation in an SDL2 window,
// the same frames as the Windows program's, with options for a fixed seed,
// zoom, a held moment and pacing; or, as an X screen-saver hack, the
// animation in a window it is given. Usage: NativeUsage().
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/arg_text.h"  // ParseUnsigned32, QuoteForError
#include "loop/display.h"
#include "loop/frame_loop.h"
#include "platform/exit_signals.h"
#include "render/frame.h"
#include "sdl/display_sdl.h"
#include "sdl/options.h"
#include "sdl/render_ahead.h"

namespace {

constexpr const char* kProgram = "noise-animation";
constexpr int kExitBadOption = 2;
constexpr int kExitCannotStart = 1;  // no display, no window, or no memory for the frame buffers

int Fail(const std::string& message, int code) {
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return code;
}

// Frames render on a second thread, each moment once, while this one
// presents the newest again and again (sdl/render_ahead.h).
// Every display call stays on this thread. False when the render thread
// cannot start.
bool PresentRenderedAhead(FrameLoop* loop) {
    RenderAhead ahead;
    if (!ahead.Start(*loop)) return false;
    while (PresentLoopFrame(loop, ahead.CurrentFrame())) {
    }
    ahead.Stop();
    return true;
}

// The window a hack draws in: --window-id's, else with --root the one the
// X screen-saver daemon names in XSCREENSAVER_WINDOW (hex or decimal); 0
// when the program opens its own. False, with *error set, when --root finds
// no usable id.
bool GivenWindow(const NativeOptions& options, uint32_t* window, std::string* error) {
    *window = options.window_id;
    if (*window != 0 || !options.root) return true;
    const char* text = std::getenv("XSCREENSAVER_WINDOW");
    if (text == nullptr || text[0] == '\0') {
        *error = "--root: XSCREENSAVER_WINDOW is not set (give the window with --window-id)";
        return false;
    }
    std::string problem;
    if (!ParseUnsigned32(text, window, &problem) || *window == 0) {
        *error = "--root: XSCREENSAVER_WINDOW is not a window id: " + QuoteForError(text);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    CatchExitSignals(kProgram);
    NativeOptions options;
    std::string error;
    if (!ParseNativeArgs(argc - 1, argv + 1, &options, &error)) return Fail(error, kExitBadOption);
    if (options.help || options.version) {
        const std::string text = options.help ? NativeUsage() : "noise-animation " PROJECT_VERSION "\n";
        if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
            return Fail(std::string("cannot write to standard output: ") + std::strerror(errno),
                        kExitBadOption);
        }
        return 0;
    }

    uint32_t window = 0;
    if (!GivenWindow(options, &window, &error)) return Fail(error, kExitBadOption);

    FrameLoop loop;
    loop.hold_time = options.hold_time;
    loop.held_time = options.time;
    loop.zoom = options.zoom;
    // The own window always shows the rate in its title; a given window
    // only with --fps, drawn in its corner.
    loop.show_rate = window == 0 || options.fps;
    StartFrameLoop(&loop);
    if (!PrepareFrames(static_cast<int32_t>(options.seed))) {  // the seed's bits; 0 seeds from the clock
        return Fail("out of memory for the frame buffers", kExitCannotStart);
    }
    if (!(window != 0 ? OpenDisplayInWindow(window, W, H) : OpenDisplay(kCaption, W, H, loop.zoom))) {
        FreeFrameBuffers();
        return Fail(DisplayError(), kExitCannotStart);
    }
    // A hack spares the CPU: one frame per display refresh unless --delay
    // says otherwise. The own window runs flat out unless --delay is given.
    if (options.has_delay) {
        loop.frame_interval = options.delay;
    } else if (window != 0) {
        loop.frame_interval = RefreshFrameInterval(DisplayRefreshRate());
    }
    // From here SIGTERM and SIGINT end the loop, so the screen saver is put
    // back before the program ends by the signal.
    DeferExitSignals();

    bool started = true;
    if (options.present_only) {
        RunPresentOnlyLoop(&loop);  // a hidden option, for the benchmark
    } else if (loop.frame_interval != 0) {
        // Paced frames are rendered one at a time, each at the moment it is
        // shown, with no second thread.
        RunFrameLoop(&loop);
    } else {
        started = PresentRenderedAhead(&loop);
    }
    CloseDisplay();
    FreeFrameBuffers();
    EndByExitSignal();
    if (!started) {
        return Fail("cannot start the render thread or out of memory for its frame buffers",
                    kExitCannotStart);
    }
    return 0;
}
