// The render-ahead thread and its hand-off: the buffer sets are used in turn,
// each either free for the render thread or ready for the main thread, the
// flag under one mutex; whoever owns a buffer set uses it without the lock.
#include "sdl/render_ahead.h"

#include <new>
#include <system_error>

#include "platform/clock.h"
#include "render/frame.h"
#include "render/render_path.h"

bool RenderAhead::Start(const FrameLoop& loop) {
    hold_time_ = loop.hold_time;
    held_time_ = loop.held_time;
    for (Slot& slot : slots_) {
        slot.byte_image.reset(new (std::nothrow) uint8_t[kByteRows * kByteStride]());
        slot.pixels.reset(new (std::nothrow) uint32_t[kPixelCount]());
        slot.ready = false;
        if (!slot.byte_image || !slot.pixels) {
            Stop();
            return false;
        }
    }
    presented_ = 0;
    stop_ = false;
    try {
        thread_ = std::thread(&RenderAhead::RenderLoop, this);
    } catch (const std::system_error&) {
        Stop();
        return false;
    }
    return true;
}

void RenderAhead::RenderLoop() {
    for (int next = 0;; next = (next + 1) % kSlots) {
        Slot& slot = slots_[next];
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || !slot.ready; });
            if (stop_) return;
        }
        const uint32_t t = hold_time_ ? held_time_ : FrameTime(ClockMs());
        RenderFrameInto(t, slot.byte_image.get(), slot.pixels.get());
        {
            std::lock_guard lock(mutex_);
            slot.ready = true;
        }
        changed_.notify_all();
    }
}

const uint32_t* RenderAhead::NextFrame() {
    Slot& slot = slots_[presented_];
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return slot.ready; });
    return slot.pixels.get();
}

void RenderAhead::ReleaseFrame() {
    {
        std::lock_guard lock(mutex_);
        slots_[presented_].ready = false;
    }
    changed_.notify_all();
    presented_ = (presented_ + 1) % kSlots;
}

void RenderAhead::Stop() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    for (Slot& slot : slots_) {
        slot.byte_image.reset();
        slot.pixels.reset();
        slot.ready = false;
    }
}
