// The frame loop every front end runs: the clock rule that gives each frame
// its time value, start-up of the frame buffers and tables, and the steps of
// one frame (render, present through loop/display.h, zoom, rate title).
#pragma once

#include <cstddef>
#include <cstdint>

#include "loop/display.h"
#include "loop/format_rate.h"
#include "loop/rate_meter.h"

constexpr const char* kCaption = "Noise animation";  // window title before the first rate
constexpr int32_t kSeedFromClock = 0;                // InitNoise seeds from the UTC time of day
constexpr uint32_t kDefaultFrameInterval = 16667;    // microseconds per paced frame: about 60 a second
// Room for the caption, a space, the longest rate text, " fps" and the NUL.
constexpr size_t kTitleSize = 16 + 1 + kRateTextSize + 4;

// True for the zoom factors the programs offer: 1, 2 and 4. The one check of
// a zoom, for options, keys and the page's controls alike.
constexpr bool IsZoomFactor(int zoom) { return zoom == 1 || zoom == 2 || zoom == 4; }

// Millisecond clock reading that anchors the time axis.
extern uint32_t StartMs;

// The clock rule: the time value of the moment ms milliseconds after the
// start is ms div 3, wrapped to 32 bits. One time unit is 3 ms.
constexpr uint32_t kMsPerTimeUnit = 3;
constexpr uint32_t TimeOfMoment(uint64_t ms) { return static_cast<uint32_t>(ms / kMsPerTimeUnit); }
// The same on a 32-bit reading, in 32-bit arithmetic (no 64-bit division in
// the 32-bit programs' frame loop).
constexpr uint32_t TimeOfMoment(uint32_t ms) { return ms / kMsPerTimeUnit; }

// The time value of the frame drawn at clock reading now: TimeOfMoment(now -
// StartMs), the subtraction unsigned 32-bit so a clock wrap does not disturb it.
uint32_t FrameTime(uint32_t now);

// Frames drawn one after another at chosen moments rather than the clock's:
// frame k at time value time + k * step (wrapping), or, with fps_num set,
// at the moment start_ms + floor(k * 1000 * fps_den / fps_num) ms, through
// the clock rule.
constexpr uint32_t kMaxFpsTerm = 1000000;  // largest numerator or denominator of a frame rate
struct FrameSchedule {
    uint32_t time = 0;      // time value of frame 0
    uint32_t step = 1;      // time between frames, wrapping as unsigned 32-bit
    uint32_t fps_num = 0;   // frames per second fps_num / fps_den; 0: paced by step instead
    uint32_t fps_den = 1;   // fps_num and fps_den are at most kMaxFpsTerm
    uint64_t start_ms = 0;  // the moment of frame 0 when paced by fps, 3 * time or later
};

// The time value of frame k of a schedule. The moment is computed in 64 bits,
// exact for every k; below 2^32 ms, every moment the programs reach on their
// clock, it is the time value they show then.
inline uint32_t ScheduledFrameTime(const FrameSchedule& schedule, uint32_t k) {
    constexpr uint64_t kMsPerSecond = 1000;
    if (schedule.fps_num == 0) return schedule.time + k * schedule.step;  // wraps as unsigned 32-bit
    // k < 2^32 and 1000 * fps_den <= 10^9 < 2^30, so the product stays below 2^62.
    return TimeOfMoment(schedule.start_ms + uint64_t{k} * kMsPerSecond * schedule.fps_den / schedule.fps_num);
}

// Renders the frame for the current clock reading (FrameTime of ClockMs())
// into PixelBuffer through the best render path.
void RenderFrame();

struct FrameLoop {
    RateMeter meter;              // frames counted over the current rate interval
    bool hold_time = false;       // render held_time on every frame instead of the clock's moment
    uint32_t held_time = 0;       // time value (clock ms div 3) shown while hold_time is set
    bool show_rate = true;        // put the rate in the title (the screen savers show none)
    int zoom = 1;                 // the display's zoom factor, as opened and as last changed
    uint32_t frame_interval = 0;  // microseconds from one frame to the next; 0 runs flat out
    uint64_t next_frame = 0;      // ClockMicros reading the next paced frame waits for; 0 before the first
    char title[kTitleSize] = {};  // the last title text; a fixed buffer, so the Windows programs
                                  // link none of the C++ run-time's strings
};

// Opens the first rate interval at the current clock reading. Called before
// the set-up, so the first rate shown includes the start-up time.
void StartFrameLoop(FrameLoop* loop);

// Allocates both frame buffers, then PrepareTables(seed). Returns false,
// with nothing allocated, when memory is short.
bool PrepareFrames(int32_t seed);

// Records StartMs and builds the palette, the sine table and the noise
// tables from seed (kSeedFromClock: from the clock), in that order: the
// set-up of front ends that keep frames of their own size.
void PrepareTables(int32_t seed);

// The time value of the loop's next frame: the clock's moment now, or the
// held time.
uint32_t LoopFrameTime(const FrameLoop& loop);

// Renders the loop's next frame into PixelBuffer: the clock's moment now
// (RenderFrame), or the held time.
void RenderLoopFrame(const FrameLoop& loop);

// The frame interval for a display refreshing hz times a second: one
// refresh, rounded; kDefaultFrameInterval where the rate is unknown (0) or
// implausible (below 20 or above 1000).
uint32_t RefreshFrameInterval(int hz);

// The pacing step: given the clock reading now (microseconds) and the time
// *next_frame the previous frame's turn set (0 before the first frame),
// moves *next_frame on by interval and returns how long to sleep until it,
// in microseconds. A loop already behind by more than a frame sleeps 0 and
// starts its schedule afresh from now, so it never races to catch up.
uint32_t PaceStep(uint64_t now, uint32_t interval, uint64_t* next_frame);

// One frame's work after rendering: PresentFrame(frame), then
// FinishLoopFrame. Returns false, having done nothing more, once the
// display is gone or asked to close.
bool PresentLoopFrame(FrameLoop* loop, const uint32_t* frame);

// The steps after a frame is shown: the zoom request the display took in,
// applied only when it changes the zoom; the frame counted, and once the
// rate interval has lasted more than kRateIntervalSeconds the title
// "Noise animation <rate> fps" shown (when show_rate) and the next interval
// opened; then, with a frame_interval, a sleep until that long after the
// previous frame's turn (PaceStep).
void FinishLoopFrame(FrameLoop* loop);

// As PresentLoopFrame for a frame of any size (PresentSizedFrame). Inline,
// so that only the front ends that call it need PresentSizedFrame.
inline bool PresentSizedLoopFrame(FrameLoop* loop, const SizedFrame& frame) {
    if (!PresentSizedFrame(frame)) return false;
    FinishLoopFrame(loop);
    return true;
}

// The same for a frame rendered into the display's own pixels (BeginDirectFrame).
inline bool PresentDirectLoopFrame(FrameLoop* loop) {
    if (!PresentDirectFrame()) return false;
    FinishLoopFrame(loop);
    return true;
}

// Opens the next rate interval at a fresh clock reading: after each rate
// title, and when frames resume after a pause (a hidden web page).
void RestartRateInterval(FrameLoop* loop);

// Renders into PixelBuffer and presents it, frame after frame, until
// PresentLoopFrame returns false.
void RunFrameLoop(FrameLoop* loop);

// Renders the loop's frame once and presents it again and again until
// PresentLoopFrame returns false: the cost of presentation alone, which the
// benchmarks set beside the programs' own rates.
void RunPresentOnlyLoop(FrameLoop* loop);
