// An ordered ring of frame slots shared by threads that render frames and
// the threads that take them strictly in order: frame k lives in slot
// k mod size, and is rendered only once frame k - size has been taken.
// The ring holds the order and the hand-off; the slots are the caller's.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class FrameRing {
  public:
    static constexpr uint64_t kEndless = UINT64_MAX;

    // `size` slots (at least 1) for frames 0 .. total - 1.
    FrameRing(uint32_t size, uint64_t total) : ready_(size, 0), total_(total) {}

    uint32_t size() const { return static_cast<uint32_t>(ready_.size()); }

    enum class Job { kRender, kTake, kNone };
    // Blocks until the calling thread has something to do: kRender frame *k
    // (then Rendered(*k)); kTake the oldest frame *k, offered only when
    // `take` and to one thread at a time (then Taken(*k)); kNone once
    // stopped, or when nothing is left for this thread to do.
    Job Next(bool take, uint64_t* k);
    void Rendered(uint64_t k);
    void Taken(uint64_t k);

    // For one thread that takes every frame in order: waits until frame k is
    // rendered. False once stopped.
    bool WaitRendered(uint64_t k);
    // Whether frame k is rendered and not yet taken, without waiting.
    bool IsReady(uint64_t k);

    // Wakes every waiter; from then on Next gives kNone and WaitRendered false.
    void Stop();

  private:
    std::mutex mutex_;
    std::condition_variable changed_;  // a frame rendered or taken, or stopped
    std::vector<char> ready_;          // by slot: rendered, not yet taken
    const uint64_t total_;
    uint64_t next_ = 0;   // the next frame to render
    uint64_t taken_ = 0;  // frames taken so far
    bool taking_ = false;  // a thread is taking a frame through Next
    bool stop_ = false;
};
