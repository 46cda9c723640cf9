// present_loop.exe: the Windows program with the render taken out of its
// loop. It renders one frame, then presents it again and again through the
// same display, window procedure and rate title as noise-animation.exe:
// the rate a loop that only presents reaches, which scripts/bench render
// sets beside the program's own.
#include <windows.h>

#include "display/display.h"
#include "loop/frame_loop.h"
#include "render/frame.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    FrameLoop loop;
    StartFrameLoop(&loop);
    if (!PrepareFrames(kSeedFromClock) || !OpenDisplay(kCaption, W, H)) return 1;
    RunPresentOnlyLoop(&loop);  // a close request ends the process inside PresentFrame
    return 0;
}
