// The steps of one frame over the display seam: present, zoom, count and
// the frame-rate title, pacing; and the blocking loop made of them.
#include "loop/frame_loop.h"

#include <cstring>

#include "loop/display.h"
#include "platform/clock.h"
#include "render/frame.h"

namespace {

// Counts one presented frame; once the interval is over, shows the rate
// title and opens the next interval at a fresh reading taken after it.
void CountPresentedFrame(FrameLoop* loop) {
    long double rate;
    if (!loop->meter.CountFrame(ClockMs(), &rate)) return;
    char rate_text[kRateTextSize];
    FormatRateText(rate, rate_text);
    static_assert(sizeof "Noise animation" <= 16 + 1, "the caption fits kTitleSize");
    std::strcpy(loop->title, kCaption);
    std::strcat(loop->title, " ");
    std::strcat(loop->title, rate_text);
    std::strcat(loop->title, " fps");
    SetDisplayTitle(loop->title);
    RestartRateInterval(loop);
}

// Sleeps until the loop's next frame is due (PaceStep).
void PaceFrame(FrameLoop* loop) {
    if (loop->frame_interval == 0) return;
    const uint32_t sleep = PaceStep(ClockMicros(), loop->frame_interval, &loop->next_frame);
    if (sleep != 0) SleepMicros(sleep);
}

}  // namespace

uint32_t RefreshFrameInterval(int hz) {
    if (hz < 20 || hz > 1000) return kDefaultFrameInterval;
    const auto rate = static_cast<uint32_t>(hz);
    return (1000000u + rate / 2) / rate;
}

void RestartRateInterval(FrameLoop* loop) { loop->meter.Start(ClockMs()); }

bool PresentLoopFrame(FrameLoop* loop, const uint32_t* frame) {
    if (!PresentFrame(frame)) return false;
    FinishLoopFrame(loop);
    return true;
}

void FinishLoopFrame(FrameLoop* loop) {
    const int zoom = TakeZoomRequest();
    if (zoom != 0 && zoom != loop->zoom) {
        SetDisplayZoom(zoom);
        loop->zoom = zoom;
    }
    if (loop->show_rate) CountPresentedFrame(loop);
    PaceFrame(loop);
}

void RunFrameLoop(FrameLoop* loop) {
    do {
        RenderLoopFrame(*loop);
    } while (PresentLoopFrame(loop, PixelBuffer));
}

void RunPresentOnlyLoop(FrameLoop* loop) {
    RenderLoopFrame(*loop);
    while (PresentLoopFrame(loop, PixelBuffer)) {
    }
}
