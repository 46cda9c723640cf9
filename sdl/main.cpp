// noise-animation, the native program: the animation in an SDL2 window at
// the window's own size, the same frames as noise-frame's at that size,
// with options for a fixed seed, the window's size, full screen, a held
// moment and pacing; or, as an X screen-saver hack, the animation in a
// window it is given, at that window's size. Usage: NativeUsage().
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "cli/arg_text.h"  // ParseUnsigned32, QuoteForError
#include "loop/display.h"
#include "loop/frame_loop.h"
#include "platform/exit_signals.h"
#include "render/frame_shape.h"
#include "render/frame_split.h"
#include "sdl/display_sdl.h"
#include "sdl/given_window.h"
#include "sdl/options.h"
#include "sdl/render_ahead.h"

namespace {

constexpr const char* kProgram = "noise-animation";
constexpr int kExitBadOption = 2;
constexpr int kExitCannotStart = 1;  // no display, no window, or no memory for the frame buffers
constexpr int kRenderThreads = 0;    // frames split across one thread per processor
// Frames rendered straight into the display's pixels, which only the
// display server reads again, go there by streaming stores from this many
// pixels (4 MiB) on, as frames copied there do (sdl/display_sdl.cpp).
constexpr int64_t kDirectStreamFromPixels = int64_t{1} << 20;

int Fail(const std::string& message, int code) {
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return code;
}

// The shape of the frames for the display's drawing area now: its own size,
// or within the frame limits (kMaxFrameSide, kMaxFramePixels) for a larger
// one, which the display then stretches.
FrameShape DisplayShape() {
    int width = 0, height = 0;
    DisplayPixelSize(&width, &height);
    width = std::min(width, kMaxFrameSide);
    height = std::min(height, kMaxFrameSide);
    while (int64_t{width} * height > kMaxFramePixels) {
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
    }
    FrameShape shape;
    MakeFrameShape(width, height, &shape);
    return shape;
}

// After the user resized the window it shows no zoom factor: a zoom key
// then sets 320x200 times its factor even if it is the last one chosen.
void FollowWindowSize(FrameLoop* loop) {
    int width = 0, height = 0;
    DisplayPixelSize(&width, &height);
    if (width != kBaseWidth * loop->zoom || height != kBaseHeight * loop->zoom) loop->zoom = 0;
}

// Frames render on a second thread, each moment once, while this one
// presents the newest again and again (sdl/render_ahead.h), asking for
// frames of the display's size after each. Every display call stays on this
// thread. False when the render thread cannot start.
bool PresentRenderedAhead(FrameLoop* loop) {
    RenderAhead ahead;
    if (!ahead.Start(*loop, DisplayShape(), kRenderThreads)) return false;
    while (PresentSizedLoopFrame(loop, ahead.CurrentFrame())) {
        ahead.SetShape(DisplayShape());
        FollowWindowSize(loop);
    }
    ahead.Stop();
    return true;
}

// Renders each frame on this thread (and the renderer's workers) at the
// moment it is shown and at the display's size, then presents it, until the
// display closes: straight into the display's own pixels where it lends
// them, else into a frame buffer it copies. With once (a held moment, or
// --present-only) a frame is rendered again only when the size changes,
// into the buffer. Where a new size finds no memory the frame before is
// shown on, stretched. False when memory is short for the first frame.
bool PresentRenderedHere(FrameLoop* loop, bool once) {
    SplitRenderer renderer;
    if (!renderer.Start(kRenderThreads)) return false;
    std::vector<uint32_t> pixels;
    SizedFrame frame;
    for (;;) {
        const FrameShape shape = DisplayShape();
        DirectFrame direct;
        const bool direct_frame = !once && BeginDirectFrame(shape.width, shape.height, &direct);
        renderer.StreamFrom(direct_frame ? kDirectStreamFromPixels : kStreamFromPixels);
        if (direct_frame) {
            renderer.Render(shape, LoopFrameTime(*loop), direct.row0, direct.stride);
            if (!PresentDirectLoopFrame(loop)) return true;
            FollowWindowSize(loop);
            continue;
        }
        const bool resized = shape.width != frame.width || shape.height != frame.height;
        if (!once || resized) {
            try {
                pixels.resize(static_cast<size_t>(shape.width) * static_cast<size_t>(shape.height));
                frame = {pixels.data(), shape.width, shape.height, frame.number};
            } catch (const std::bad_alloc&) {
                if (frame.pixels == nullptr) return false;
            }
            FrameShape drawn;
            MakeFrameShape(frame.width, frame.height, &drawn);
            renderer.Render(drawn, LoopFrameTime(*loop), pixels.data());
            ++frame.number;
        }
        if (!PresentSizedLoopFrame(loop, frame)) return true;
        FollowWindowSize(loop);
    }
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
    PrepareTables(static_cast<int32_t>(options.seed));  // the seed's bits; 0 seeds from the clock
    const int width = options.width != 0 ? options.width : kBaseWidth * loop.zoom;
    const int height = options.height != 0 ? options.height : kBaseHeight * loop.zoom;
    if (!(window != 0 ? OpenDisplayInWindow(window) : OpenOwnWindow(kCaption, width, height, options.fullscreen))) {
        return Fail(DisplayError(), kExitCannotStart);
    }
    FollowWindowSize(&loop);
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
        started = PresentRenderedHere(&loop, true);  // a hidden option, for the benchmark
    } else if (loop.frame_interval != 0) {
        // Paced frames are rendered one at a time, each at the moment it is
        // shown, with no render-ahead thread.
        started = PresentRenderedHere(&loop, loop.hold_time);
    } else {
        started = PresentRenderedAhead(&loop);
    }
    CloseDisplay();
    EndByExitSignal();
    if (!started) {
        return Fail("cannot start the render threads or out of memory for the frame buffers", kExitCannotStart);
    }
    return 0;
}
