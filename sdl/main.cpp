// noise-animation, the native program: the animation in an SDL2 window,
// the same frames as the Windows program's, with options for a fixed seed,
// zoom and a held moment. Usage: NativeUsage().
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "loop/display.h"
#include "loop/frame_loop.h"
#include "platform/exit_signals.h"
#include "render/frame.h"
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

// Frames render ahead on a second thread while this one presents them: on
// X11 presenting takes about as long as rendering (sdl/render_ahead.h).
// Every display call stays on this thread. False when the render thread
// cannot start.
bool PresentRenderedAhead(FrameLoop* loop) {
    RenderAhead ahead;
    if (!ahead.Start(*loop)) return false;
    for (bool open = true; open;) {
        open = PresentLoopFrame(loop, ahead.NextFrame());
        ahead.ReleaseFrame();
    }
    ahead.Stop();
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
            return Fail(std::string("cannot write to standard output: ") + std::strerror(errno), kExitBadOption);
        }
        return 0;
    }

    FrameLoop loop;
    loop.hold_time = options.hold_time;
    loop.held_time = options.time;
    loop.zoom = options.zoom;
    StartFrameLoop(&loop);
    if (!PrepareFrames(static_cast<int32_t>(options.seed))) {  // the seed's bits; 0 seeds from the clock
        return Fail("out of memory for the frame buffers", kExitCannotStart);
    }
    if (!OpenDisplay(kCaption, W, H, loop.zoom)) {
        FreeFrameBuffers();
        return Fail(DisplayError(), kExitCannotStart);
    }
    // From here SIGTERM and SIGINT end the loop, so the screen saver is put
    // back before the program ends by the signal.
    DeferExitSignals();

    bool started = true;
    if (options.present_only) {
        // Present-only runs show one frame again and again: the cost of
        // presentation alone, for the benchmark.
        RenderLoopFrame(loop);
        while (PresentLoopFrame(&loop, PixelBuffer)) {
        }
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
