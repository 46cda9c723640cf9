// The steps of one frame over the display seam: present, zoom, count and
// the frame-rate title; and the blocking loop made of them.
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

}  // namespace

void RestartRateInterval(FrameLoop* loop) { loop->meter.Start(ClockMs()); }

bool PresentLoopFrame(FrameLoop* loop, const uint32_t* frame) {
    if (!PresentFrame(frame)) return false;
    const int zoom = TakeZoomRequest();
    if (zoom != 0 && zoom != loop->zoom) {
        SetDisplayZoom(zoom);
        loop->zoom = zoom;
    }
    if (loop->show_rate) CountPresentedFrame(loop);
    return true;
}

void RunFrameLoop(FrameLoop* loop) {
    do {
        RenderLoopFrame(*loop);
    } while (PresentLoopFrame(loop, PixelBuffer));
}
