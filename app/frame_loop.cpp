// The frame loop's shared logic: set-up, the frame to render and the
// frame-rate title.
#include "app/frame_loop.h"

#include "app/format_rate.h"
#include "noise/noise.h"
#include "platform/clock.h"
#include "render/frame.h"
#include "render/shading.h"

void StartFrameLoop(FrameLoop* loop) { loop->meter.Start(ClockMs()); }

bool PrepareFrames(int32_t seed) {
    if (!AllocateFrameBuffers()) return false;
    StartMs = ClockMs();
    BuildPalette();
    BuildSineTable();
    InitNoise(seed);
    return true;
}

void RenderLoopFrame(const FrameLoop& loop) {
    if (loop.hold_time) {
        RenderFrameAt(loop.held_time);
    } else {
        RenderFrame();
    }
}

const char* CountPresentedFrame(FrameLoop* loop) {
    long double rate;
    if (!loop->meter.CountFrame(ClockMs(), &rate)) return nullptr;
    loop->title.assign(kCaption);
    loop->title += ' ';
    loop->title += FormatRate(rate);
    loop->title += " fps";
    return loop->title.c_str();
}

void RestartRateInterval(FrameLoop* loop) { loop->meter.Start(ClockMs()); }
