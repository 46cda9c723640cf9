// Start-up order and the frame loop of the Windows program: render, present,
// count, and the frame-rate title.
#include "app/animation.h"

#include "app/frame_loop.h"
#include "display/display.h"
#include "render/frame.h"

void RunAnimation() {
    FrameLoop loop;
    StartFrameLoop(&loop);
    if (!PrepareFrames(kSeedFromClock)) return;  // nothing to show without the buffers: end quietly

    if (!OpenDisplay(kCaption, W, H)) {
        FreeFrameBuffers();
        return;
    }

    for (;;) {
        RenderLoopFrame(loop);
        PresentFrame(PixelBuffer);  // a close request ends the process in here
        if (const char* title = CountPresentedFrame(&loop)) {
            SetDisplayTitle(title);
            RestartRateInterval(&loop);
        }
    }
}
