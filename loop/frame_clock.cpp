// The clock rule and the loop's set-up: the time value of each frame, the
// buffers and tables, the frame to render and the pacing arithmetic. Needs
// no display.
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
    PrepareTables(seed);
    return true;
}

void PrepareTables(int32_t seed) {
    StartMs = ClockMs();
    BuildTables(seed);
}

uint32_t PaceStep(uint64_t now, uint32_t interval, uint64_t* next_frame) {
    if (*next_frame == 0) *next_frame = now;
    *next_frame += interval;
    if (*next_frame > now) return static_cast<uint32_t>(*next_frame - now);
    if (now - *next_frame > interval) *next_frame = now;
    return 0;
}

uint32_t LoopFrameTime(const FrameLoop& loop) { return loop.hold_time ? loop.held_time : FrameTime(ClockMs()); }

void RenderLoopFrame(const FrameLoop& loop) {
    if (loop.hold_time) {
        RenderFrameAt(loop.held_time);
    } else {
        RenderFrame();
    }
}
