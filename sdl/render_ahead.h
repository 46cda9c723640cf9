// Frames rendered ahead of presentation on a second thread. On X11 the native
// program presents through SDL's shared-memory window surface in about the
// time a frame takes to render (some 0.08 ms each), so one thread that renders
// and then presents reaches only a third to a half of the present-only rate.
// Here the render thread renders the next frames while the main thread
// presents the current one; all SDL calls stay on the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <thread>

#include "loop/frame_loop.h"
#include "ring/frame_ring.h"

class RenderAhead {
  public:
    RenderAhead() = default;
    RenderAhead(const RenderAhead&) = delete;
    RenderAhead& operator=(const RenderAhead&) = delete;
    ~RenderAhead() { Stop(); }

    // Allocates the frame buffer sets and starts the render thread. Each frame
    // shows the moment loop names (copied here): the clock's, read as the
    // render thread starts that frame, or the held time. The noise and shading
    // tables must be built and stay unchanged until Stop. Returns false, with
    // nothing left running or allocated, when memory is short or the thread
    // cannot start.
    bool Start(const FrameLoop& loop);

    // Waits for the next rendered frame, in order, and returns its pixels
    // (laid out as PixelBuffer); they stay unchanged until ReleaseFrame.
    const uint32_t* NextFrame();

    // Hands the frame NextFrame returned back to the render thread.
    void ReleaseFrame();

    // Ends and joins the render thread (it finishes the frame it is on) and
    // frees the buffers. Does nothing when not started.
    void Stop();

  private:
    // One frame being presented and two rendered or being rendered: with a
    // frame in hand the main thread seldom waits for the render thread to
    // wake, which on a virtual machine can take longer than a frame.
    static constexpr int kSlots = 3;

    struct Slot {
        std::unique_ptr<uint8_t[]> byte_image;  // kByteRows * kByteStride shades
        std::unique_ptr<uint32_t[]> pixels;     // kPixelCount pixels
    };

    void RenderLoop();

    bool hold_time_ = false;
    uint32_t held_time_ = 0;
    Slot slots_[kSlots];
    std::unique_ptr<FrameRing> ring_;  // frame k in slot k mod kSlots
    uint64_t presented_ = 0;           // main thread only: the frame NextFrame returns next
    std::thread thread_;
};
