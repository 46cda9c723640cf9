// The clock rule and the loop's set-up: the time value of each frame, the
// buffers and tables, and the frame to render. Needs no display.
#include "loop/frame_loop.h"

#include "platform/clock.h"
#include "render/frame.h"
#include "render/render_path.h"
#include "render/tables.h"

uint32_t StartMs;

uint32_t FrameTime(uint32_t now) { return TimeOfMoment(now - StartMs); }

void RenderFrame() { RenderFrameAt(FrameTime(ClockMs())); }

void StartFrameLoop(FrameLoop* loop) { loop->meter.Start(ClockMs()); }

bool PrepareFrames(int32_t seed) {
    if (!AllocateFrameBuffers()) return false;
    StartMs = ClockMs();
    BuildTables(seed);
    return true;
}

void RenderLoopFrame(const FrameLoop& loop) {
    if (loop.hold_time) {
        RenderFrameAt(loop.held_time);
    } else {
        RenderFrame();
    }
}
