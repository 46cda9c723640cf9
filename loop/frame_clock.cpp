// The clock rule and the loop's set-up: the time value of each frame, the
// buffers and tables, and the frame to render. Needs no display.
#include "loop/frame_loop.h"

#include "platform/clock.h"
#include "render/frame.h"
#include "render/render_path.h"
#include "render/tables.h"

uint32_t StartMs;

uint32_t FrameTime(uint32_t now) { return (now - StartMs) / 3u; }

void RenderFrame() { RenderFrameAt(FrameTime(ClockMs())); }

void StartFrameLoop(FrameLoop* loop) { loop->meter.Start(ClockMs()); }

bool PrepareFrames(int32_t seed) {
    if (!AllocateFrameBuffers()) return false;
    StartMs = ClockMs();
    BuildTables(seed);
    return true;
}

uint32_t LoopFrameTime(const FrameLoop& loop) { return loop.hold_time ? loop.held_time : FrameTime(ClockMs()); }

void RenderLoopFrame(const FrameLoop& loop) { RenderFrameAt(LoopFrameTime(loop)); }
