// The frame loop's shared logic: set-up, the frame to render and the
// frame-rate title.
#include "app/frame_loop.h"

#include <cstring>

#include "noise/noise.h"
#include "platform/clock.h"
#include "render/render_path.h"
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
    char rate_text[kRateTextSize];
    FormatRateText(rate, rate_text);
    static_assert(sizeof "Noise animation" <= 16 + 1, "the caption fits kTitleSize");
    std::strcpy(loop->title, kCaption);
    std::strcat(loop->title, " ");
    std::strcat(loop->title, rate_text);
    std::strcat(loop->title, " fps");
    return loop->title;
}

void RestartRateInterval(FrameLoop* loop) { loop->meter.Start(ClockMs()); }
