// The render-ahead thread over an endless frame ring: the render thread
// renders frame k into slot k mod kSlots once frame k - kSlots has been
// released; whoever owns a slot uses it without the lock.
#include "sdl/render_ahead.h"

#include <new>
#include <system_error>

#include "platform/clock.h"
#include "render/frame.h"
#include "render/render_path.h"

namespace {
constexpr uint32_t kClockTickMicros = 1000;  // the millisecond clock's step
}  // namespace

bool RenderAhead::Start(const FrameLoop& loop) {
    hold_time_ = loop.hold_time;
    held_time_ = loop.held_time;
    for (Slot& slot : slots_) {
        slot.byte_image.reset(new (std::nothrow) uint8_t[kByteRows * kByteStride]());
        slot.pixels.reset(new (std::nothrow) uint32_t[kPixelCount]());
        if (!slot.byte_image || !slot.pixels) {
            Stop();
            return false;
        }
    }
    presented_ = 0;
    try {
        ring_ = std::make_unique<FrameRing>(kSlots, FrameRing::kEndless);
        thread_ = std::thread(&RenderAhead::RenderLoop, this);
    } catch (const std::exception&) {
        Stop();
        return false;
    }
    ring_->WaitRendered(0);  // CurrentFrame always has a frame to give
    return true;
}

void RenderAhead::RenderLoop() {
    uint64_t k = 0;
    uint32_t last = 0;
    while (ring_->Next(false, &k) == FrameRing::Job::kRender) {
        uint32_t t = hold_time_ ? held_time_ : FrameTime(ClockMs());
        if (k > 0) {
            if (hold_time_) return;  // the held moment's one frame is shown for good
            // Each moment once: the time value moves every 3 ms.
            while (t == last) {
                SleepMicros(kClockTickMicros);
                t = FrameTime(ClockMs());
            }
        }
        Slot& slot = slots_[k % kSlots];
        RenderFrameInto(t, slot.byte_image.get(), slot.pixels.get());
        last = t;
        ring_->Rendered(k);
    }
}

const uint32_t* RenderAhead::CurrentFrame() {
    if (ring_->IsReady(presented_ + 1)) ring_->Taken(presented_++);
    return slots_[presented_ % kSlots].pixels.get();
}

void RenderAhead::Stop() {
    if (thread_.joinable()) {
        ring_->Stop();
        thread_.join();
    }
    ring_.reset();
    for (Slot& slot : slots_) slot = Slot{};
}
