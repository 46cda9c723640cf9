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
    presenting_ = false;
    try {
        ring_ = std::make_unique<FrameRing>(kSlots, FrameRing::kEndless);
        thread_ = std::thread(&RenderAhead::RenderLoop, this);
    } catch (const std::exception&) {
        Stop();
        return false;
    }
    return true;
}

void RenderAhead::RenderLoop() {
    uint64_t k = 0;
    uint32_t last = 0;
    while (ring_->Next(false, &k) == FrameRing::Job::kRender) {
        uint32_t t = held_time_;
        if (!hold_time_) {
            // Wait for a new moment, the time value moves every 3 ms.
            while ((t = FrameTime(ClockMs())) == last && k > 0) SleepMicros(kClockTickMicros);
        } else if (k > 0) {
            return;  // the held moment's one frame is shown for good
        }
        Slot& slot = slots_[k % kSlots];
        RenderFrameInto(t, slot.byte_image.get(), slot.pixels.get());
        last = t;
        ring_->Rendered(k);
    }
}

const uint32_t* RenderAhead::CurrentFrame() {
    if (!presenting_) {
        ring_->WaitRendered(presented_);
        presenting_ = true;
    } else if (ring_->IsReady(presented_ + 1)) {
        ring_->Taken(presented_++);
    }
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
