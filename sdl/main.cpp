// noise-animation, the native program: the animation in an SDL2 window,
// the same frames as the Windows program's, with options for a fixed seed,
// zoom and a held moment. Usage: NativeUsage().
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/frame_loop.h"
#include "render/frame.h"
#include "sdl/options.h"
#include "sdl/render_ahead.h"
#include "sdl/sdl_display.h"

namespace {

constexpr int kExitBadOption = 2;
constexpr int kExitCannotStart = 1;  // no display, no window, or no memory for the frame buffers

int Fail(const std::string& message, int code) {
    std::fprintf(stderr, "noise-animation: %s\n", message.c_str());
    return code;
}

// Counts a presented frame and shows the rate title when one is due.
void CountFrame(FrameLoop* loop) {
    if (const char* title = CountPresentedFrame(loop)) {
        SetSdlTitle(title);
        RestartRateInterval(loop);
    }
}

}  // namespace

int main(int argc, char** argv) {
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
    StartFrameLoop(&loop);
    if (!PrepareFrames(static_cast<int32_t>(options.seed))) {  // the seed's bits; 0 seeds from the clock
        return Fail("out of memory for the frame buffers", kExitCannotStart);
    }
    if (!OpenSdlDisplay(kCaption, W, H, options.zoom, &error)) {
        FreeFrameBuffers();
        return Fail(error, kExitCannotStart);
    }

    if (options.present_only) {
        // Present-only runs show one frame again and again: the cost of
        // presentation alone, for the benchmark.
        RenderLoopFrame(loop);
        while (PresentSdlFrame(PixelBuffer)) CountFrame(&loop);
    } else {
        // Frames render ahead on a second thread while this one presents
        // them: on X11 presenting takes about as long as rendering
        // (sdl/render_ahead.h). Every SDL call stays on this thread.
        RenderAhead ahead;
        if (!ahead.Start(loop)) {
            CloseSdlDisplay();
            FreeFrameBuffers();
            return Fail("cannot start the render thread or out of memory for its frame buffers",
                        kExitCannotStart);
        }
        for (;;) {
            const bool open = PresentSdlFrame(ahead.NextFrame());
            ahead.ReleaseFrame();
            if (!open) break;
            CountFrame(&loop);
        }
        ahead.Stop();
    }
    CloseSdlDisplay();
    FreeFrameBuffers();
    return 0;
}
