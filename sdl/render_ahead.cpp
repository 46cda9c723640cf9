// The render-ahead thread over an endless frame ring: the render thread
// renders frame k into slot k mod kSlots once frame k - kSlots has been
// released; whoever owns a slot uses it, and resizes its buffer, without
// the lock. The shape asked for is the one value the threads share.
#include "sdl/render_ahead.h"

#include <chrono>
#include <new>

#include "platform/clock.h"

namespace {

constexpr auto kClockTick = std::chrono::milliseconds(1);  // the millisecond clock's step

bool SameSize(const FrameShape& a, const FrameShape& b) { return a.width == b.width && a.height == b.height; }

// Makes pixels hold a frame of shape; false, leaving them as they were,
// when memory is short.
bool Fit(std::vector<uint32_t>* pixels, const FrameShape& shape) {
    try {
        pixels->resize(static_cast<size_t>(shape.width) * static_cast<size_t>(shape.height));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace

bool RenderAhead::Start(const FrameLoop& loop, const FrameShape& shape, int threads) {
    hold_time_ = loop.hold_time;
    held_time_ = loop.held_time;
    wanted_ = shape;
    stopping_ = false;
    presented_ = 0;
    slots_[0].shape = shape;
    if (!Fit(&slots_[0].pixels, shape) || !renderer_.Start(threads)) {
        Stop();
        return false;
    }
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

void RenderAhead::SetShape(const FrameShape& shape) {
    {
        std::lock_guard lock(mutex_);
        if (SameSize(shape, wanted_)) return;
        wanted_ = shape;
    }
    changed_.notify_all();
}

bool RenderAhead::NextMoment(uint32_t last, FrameShape last_shape, uint32_t* t, FrameShape* shape) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stopping_) return false;
        *shape = wanted_;
        *t = hold_time_ ? held_time_ : FrameTime(ClockMs());
        // Each moment once (the time value moves every 3 ms), and once more
        // at a new size.
        if (*t != last || !SameSize(*shape, last_shape)) return true;
        if (hold_time_) {
            changed_.wait(lock);
        } else {
            changed_.wait_for(lock, kClockTick);
        }
    }
}

void RenderAhead::RenderLoop() {
    uint64_t k = 0;
    uint32_t t = 0;
    FrameShape shape;
    while (ring_->Next(false, &k) == FrameRing::Job::kRender) {
        if (k == 0) {
            shape = slots_[0].shape;
            t = hold_time_ ? held_time_ : FrameTime(ClockMs());
        } else if (!NextMoment(t, shape, &t, &shape)) {
            return;
        }
        // Without room for the new size the slot keeps the size it has
        // (the display stretches it); a slot with no room at all gives a
        // frame without pixels, which the display skips.
        Slot& slot = slots_[k % kSlots];
        if (Fit(&slot.pixels, shape)) slot.shape = shape;
        if (!slot.pixels.empty()) renderer_.Render(slot.shape, t, slot.pixels.data());
        ring_->Rendered(k);
    }
}

SizedFrame RenderAhead::CurrentFrame() {
    if (ring_->IsReady(presented_ + 1)) ring_->Taken(presented_++);
    const Slot& slot = slots_[presented_ % kSlots];
    return {slot.pixels.data(), slot.shape.width, slot.shape.height, presented_};
}

void RenderAhead::Stop() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        ring_->Stop();
        thread_.join();
    }
    ring_.reset();
    for (Slot& slot : slots_) slot = Slot{};
}
