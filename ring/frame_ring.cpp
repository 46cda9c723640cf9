// The ring's hand-off: one mutex guards the counters and the ready flags;
// whoever renders or takes a frame uses its slot without the lock.
#include "ring/frame_ring.h"

FrameRing::Job FrameRing::Next(bool take, uint64_t* k) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stop_) return Job::kNone;
        if (take && !taking_ && taken_ < total_ && ready_[taken_ % size()]) {
            taking_ = true;
            *k = taken_;
            return Job::kTake;
        }
        if (next_ < total_ && next_ - taken_ < size()) {
            *k = next_++;
            return Job::kRender;
        }
        if (take ? taken_ == total_ : next_ == total_) return Job::kNone;
        changed_.wait(lock);
    }
}

void FrameRing::Rendered(uint64_t k) {
    {
        std::lock_guard lock(mutex_);
        ready_[k % size()] = 1;
    }
    changed_.notify_all();
}

void FrameRing::Taken(uint64_t k) {
    {
        std::lock_guard lock(mutex_);
        ready_[k % size()] = 0;
        taken_ = k + 1;
        taking_ = false;
    }
    changed_.notify_all();
}

bool FrameRing::WaitRendered(uint64_t k) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stop_ || ready_[k % size()] != 0; });
    return !stop_;
}

bool FrameRing::IsReady(uint64_t k) {
    std::lock_guard lock(mutex_);
    return !stop_ && ready_[k % size()] != 0;
}

void FrameRing::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
}
