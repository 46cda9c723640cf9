// Frames rendered on a second thread while the main thread presents. On X11
// the native program presents through SDL's shared-memory window surface
// many times in each 3 ms moment of the clock rule. So the render thread
// renders each moment once, as it comes, at the size the main thread last
// asked for, while the main thread presents the newest finished frame again
// and again; all SDL calls stay on the main thread. A large frame is split
// across the processors (render/frame_split.h).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "loop/display.h"  // SizedFrame
#include "loop/frame_loop.h"
#include "render/frame_shape.h"
#include "render/frame_split.h"
#include "ring/frame_ring.h"

class RenderAhead {
  public:
    ~RenderAhead() { Stop(); }

    // Allocates the first frame's buffers, starts threads render workers
    // (0: one per processor; the render thread is one of them) and the
    // render thread. Each frame shows the moment loop names (copied here):
    // the clock's, read as the render thread starts that frame, once the
    // time value has moved on from the frame before or the shape has
    // changed; or the held time, rendered again only for a new shape. Frames
    // have shape until SetShape. The noise and shading tables must be built
    // and stay unchanged until Stop. Returns false, with nothing left
    // running or allocated, when memory is short or the thread cannot start;
    // otherwise returns once the first frame is rendered.
    bool Start(const FrameLoop& loop, const FrameShape& shape, int threads);

    // Frames rendered from now on have shape (main thread). A frame whose
    // buffers cannot be grown for it keeps the size it had.
    void SetShape(const FrameShape& shape);

    // The frame to present, without waiting: the next frame, in order, once
    // it is finished (the one before goes back to the render thread), else
    // the same as last time. Its pixels stay unchanged until the next call.
    SizedFrame CurrentFrame();

    // Ends and joins the render thread (it finishes the frame it is on) and
    // frees the buffers. Does nothing when not started.
    void Stop();

  private:
    // The frame being presented and the next, finished or being rendered.
    static constexpr int kSlots = 2;

    struct Slot {
        std::vector<uint32_t> pixels;  // the frame, row 0 at the bottom
        FrameShape shape;              // its shape
    };

    void RenderLoop();
    // Waits until there is a frame to render after one at time value last
    // of last_shape, and names it; false once stopping.
    bool NextMoment(uint32_t last, FrameShape last_shape, uint32_t* t, FrameShape* shape);

    bool hold_time_ = false;
    uint32_t held_time_ = 0;
    Slot slots_[kSlots];
    std::unique_ptr<FrameRing> ring_;  // frame k in slot k mod kSlots
    uint64_t presented_ = 0;           // main thread only: the frame CurrentFrame returns
    SplitRenderer renderer_;           // the render thread's
    std::thread thread_;

    std::mutex mutex_;                  // guards wanted_ and stopping_
    std::condition_variable changed_;   // a new shape asked for, or stopping
    FrameShape wanted_;
    bool stopping_ = false;
};
