// Frames rendered on a second thread while the main thread presents. On X11
// the native program presents through SDL's shared-memory window surface in
// about the time a frame takes to render (some 0.06 ms each), and many times
// in each 3 ms moment of the clock rule. So the render thread renders each
// moment once, as it comes, while the main thread presents the newest
// finished frame again and again; all SDL calls stay on the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <thread>

#include "loop/frame_loop.h"
#include "ring/frame_ring.h"

class RenderAhead {
  public:
    ~RenderAhead() { Stop(); }

    // Allocates the frame buffer sets and starts the render thread. Each frame
    // shows the moment loop names (copied here): the clock's, read as the
    // render thread starts that frame, once the time value has moved on from
    // the frame before; or the held time, in one frame. The noise and shading
    // tables must be built and stay unchanged until Stop. Returns false, with
    // nothing left running or allocated, when memory is short or the thread
    // cannot start; otherwise returns once the first frame is rendered.
    bool Start(const FrameLoop& loop);

    // The pixels (laid out as PixelBuffer) of the frame to present, without
    // waiting: the next frame, in order, once it is finished (the one before
    // goes back to the render thread), else the same as last time. They stay
    // unchanged until the next call.
    const uint32_t* CurrentFrame();

    // Ends and joins the render thread (it finishes the frame it is on) and
    // frees the buffers. Does nothing when not started.
    void Stop();

  private:
    // The frame being presented and the next, finished or being rendered.
    static constexpr int kSlots = 2;

    struct Slot {
        std::unique_ptr<uint8_t[]> byte_image;  // kByteRows * kByteStride shades
        std::unique_ptr<uint32_t[]> pixels;     // kPixelCount pixels
    };

    void RenderLoop();

    bool hold_time_ = false;
    uint32_t held_time_ = 0;
    Slot slots_[kSlots];
    std::unique_ptr<FrameRing> ring_;  // frame k in slot k mod kSlots
    uint64_t presented_ = 0;           // main thread only: the frame CurrentFrame returns
    std::thread thread_;
};
