// The frame loop's logic shared by every front end: start-up of the frame
// buffers and tables, the frame to render, and the frame-rate title that is
// due about every two seconds. Each front end keeps its own loop and its own
// window; this holds what they do alike.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/format_rate.h"
#include "app/rate_meter.h"

constexpr const char* kCaption = "Noise animation";  // window title before the first rate
constexpr int32_t kSeedFromClock = 0;                // InitNoise seeds from the UTC time of day
// Room for the caption, a space, the longest rate text, " fps" and the NUL.
constexpr size_t kTitleSize = 16 + 1 + kRateTextSize + 4;

struct FrameLoop {
    RateMeter meter;              // frames counted over the current rate interval
    bool hold_time = false;       // render held_time on every frame instead of the clock's moment
    uint32_t held_time = 0;       // time value (clock ms div 3) shown while hold_time is set
    char title[kTitleSize] = {};  // the last title text; a fixed buffer, so the Windows programs
                                  // link none of the C++ run-time's strings
};

// Opens the first rate interval at the current clock reading. Called before
// the set-up, so the first rate shown includes the start-up time.
void StartFrameLoop(FrameLoop* loop);

// Allocates both frame buffers, records StartMs and builds the palette, the
// sine table and the noise tables from seed (kSeedFromClock: from the clock),
// in that order. Returns false, with nothing allocated, when memory is short.
bool PrepareFrames(int32_t seed);

// Renders the loop's next frame into PixelBuffer: the moment the clock gives
// now, or the held time.
void RenderLoopFrame(const FrameLoop& loop);

// Counts one presented frame. Once the interval has lasted more than
// kRateIntervalSeconds, returns the title "Noise animation <rate> fps"
// (valid until the next call); the caller shows it and then calls
// RestartRateInterval. Returns null otherwise.
const char* CountPresentedFrame(FrameLoop* loop);

// Opens the next rate interval at a fresh clock reading, taken after the
// title was shown.
void RestartRateInterval(FrameLoop* loop);
