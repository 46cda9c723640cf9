// Start-up order of the Windows program and its endless frame loop.
#include "app/animation.h"

#include "display/display.h"
#include "loop/frame_loop.h"
#include "render/frame.h"

void RunAnimation() {
    FrameLoop loop;
    StartFrameLoop(&loop);
    if (!PrepareFrames(kSeedFromClock)) return;  // nothing to show without the buffers: end quietly

    if (!OpenDisplay(kCaption, W, H)) {
        FreeFrameBuffers();
        return;
    }
    RunFrameLoop(&loop);  // a close request ends the process inside PresentFrame
}
