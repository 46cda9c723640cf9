// The screen saver's entry: reads the command line, then runs full screen,
// runs the preview in the given window (both paced to the screen's refresh),
// or shows the settings box. Exit code 0 in every case.
#include <windows.h>

#include <cstdint>

#include "display/display.h"
#include "loop/frame_loop.h"
#include "render/frame.h"
#include "screensaver/saver_args.h"

namespace {

constexpr const char* kNoOptions = "This screen saver has no options that you can set.";

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

// Builds the tables, opens the display with open, then runs the frame loop,
// paced to the screen's refresh and with no rate in the title, until the
// window procedure ends the process.
// Returns when the buffers or the display cannot be had.
template <typename Open>
void RunSaver(Open open) {
    if (!PrepareFrames(kSeedFromClock)) return;
    if (!open()) {
        FreeFrameBuffers();
        return;
    }
    FrameLoop loop;
    loop.show_rate = false;
    // A screen saver spares the CPU: one frame per refresh of the screen.
    loop.frame_interval = RefreshFrameInterval(ScreenRefreshRate());
    RunFrameLoop(&loop);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
    // No system error boxes: a missing drive or a crash must not stop on a dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const SaverArgs args = ParseSaverArgs(command_line);
    switch (args.mode) {
        case SaverMode::kShow:
            RunSaver([] { return OpenSaverDisplay(kCaption, W, H); });
            break;
        case SaverMode::kPreview:
            // A missing or stale handle ends the preview at once.
            if (HWND parent = WindowFromArgs(args)) {
                RunSaver([parent] { return OpenPreviewDisplay(kCaption, W, H, parent); });
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
