// The screen saver's entry: reads the command line, then runs full screen,
// runs the preview in the given window (both paced to the screen's refresh),
// or shows the settings box. Exit code 0 in every case.
#include <windows.h>

#include <cstdint>
#include <cstdlib>

#include "display/display.h"
#include "loop/frame_loop.h"
#include "render/frame_split.h"
#include "screensaver/saver_args.h"
#include "screensaver/saver_frame.h"

namespace {

constexpr const char* kNoOptions = "This screen saver has no options that you can set.";
constexpr int kEveryProcessor = 0;  // SplitRenderer::Start: one worker per processor

HWND WindowFromArgs(const SaverArgs& args) {
    if (!args.has_window) return nullptr;
    // Window handles carry 32 significant bits; 64-bit Windows sign-extends them.
    HWND window = reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(args.window)));
    return IsWindow(window) ? window : nullptr;
}

// The primary screen's refresh rate in Hz; 0 or 1 where the driver does not
// say (the hardware default).
int ScreenRefreshRate() {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return 0;
    const int hz = GetDeviceCaps(screen, VREFRESH);
    ReleaseDC(nullptr, screen);
    return hz;
}

// Builds the tables, sizes the frames for the window (parent's client area
// in the preview, the virtual screen otherwise: SaverWindowSize and the
// scale rule of ChooseSaverFrame), opens the display with open, then renders
// each frame across every processor and presents it, paced to the screen's
// refresh and with no rate in the title, until the window procedure ends
// the process. Returns when the window, the memory or the display cannot be
// had. NOISE_SAVER_MOMENT (saver_frame.h) holds one moment, for tests.
template <typename Open>
void RunSaver(HWND parent, Open open) {
    FrameLoop loop;
    uint32_t seed = 0;
    loop.hold_time = ParseSaverMoment(std::getenv(kSaverMomentVariable), &seed, &loop.held_time);
    PrepareTables(loop.hold_time ? static_cast<int32_t>(seed) : kSeedFromClock);  // the seed's bits

    SplitRenderer renderer;
    renderer.Start(kEveryProcessor);  // picks the render path; without workers it renders alone
    int width = 0, height = 0;
    if (!SaverWindowSize(parent, &width, &height)) return;
    const SaverFrame frame = ChooseSaverFrame(BestRenderPath(), width, height);
    const FrameShape& shape = frame.shape;
    auto* pixels = static_cast<uint32_t*>(std::malloc(static_cast<size_t>(shape.width) * shape.height * 4));
    if (pixels == nullptr) return;  // nothing to show without the frame: end quietly
    if (!open(shape.width, shape.height, frame.scale)) {
        std::free(pixels);
        return;
    }
    loop.show_rate = false;
    // A screen saver spares the CPU: one frame per refresh of the screen.
    loop.frame_interval = RefreshFrameInterval(ScreenRefreshRate());
    do {
        renderer.Render(shape, LoopFrameTime(loop), pixels);
    } while (PresentLoopFrame(&loop, pixels));
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
    // No system error boxes: a missing drive or a crash must not stop on a dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const SaverArgs args = ParseSaverArgs(command_line);
    switch (args.mode) {
        case SaverMode::kShow:
            RunSaver(nullptr, [](int width, int height, int scale) {
                return OpenSaverDisplay(kCaption, width, height, scale);
            });
            break;
        case SaverMode::kPreview:
            // A missing or stale handle ends the preview at once.
            if (HWND parent = WindowFromArgs(args)) {
                RunSaver(parent, [parent](int width, int height, int scale) {
                    return OpenPreviewDisplay(kCaption, width, height, scale, parent);
                });
            }
            break;
        case SaverMode::kConfigure:
            MessageBoxA(WindowFromArgs(args), kNoOptions, kCaption, MB_OK | MB_ICONINFORMATION);
            break;
        case SaverMode::kUnknown:
            break;
    }
    return 0;
}
