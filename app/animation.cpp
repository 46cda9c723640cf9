// Start-up order and the frame loop: render, present, count, and the
// frame-rate title.
#include "app/animation.h"

#include <string>

#include "app/format_rate.h"
#include "app/rate_meter.h"
#include "display/display.h"
#include "noise/noise.h"
#include "platform/clock.h"
#include "render/frame.h"
#include "render/render_path.h"
#include "render/shading.h"

namespace {
constexpr const char* kCaption = "Noise animation";
constexpr int32_t kSeedFromClock = 0;
}  // namespace

void RunAnimation() {
    // The first interval starts before set-up, so the first rate shown
    // includes the start-up time.
    RateMeter meter;
    meter.Start(ClockMs());

    if (!AllocateFrameBuffers()) return;  // nothing to show without them: end quietly
    StartMs = ClockMs();
    BuildPalette();
    BuildSineTable();
    InitNoise(kSeedFromClock);

    if (!OpenDisplay(kCaption, W, H)) {
        FreeFrameBuffers();
        return;
    }

    for (;;) {
        RenderFrame();
        PresentFrame(PixelBuffer);  // a close request ends the process in here
        long double rate;
        if (meter.CountFrame(ClockMs(), &rate)) {
            const std::string title = std::string(kCaption) + " " + FormatRate(rate) + " fps";
            SetDisplayTitle(title.c_str());
            meter.Start(ClockMs());  // a fresh reading, taken after the title was sent
        }
    }
}
