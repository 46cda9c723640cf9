// One frame split across the processors: each worker renders a range of
// output rows with its own scratch; small frames stay on the calling thread,
// where a split would cost more than it saves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/frame_rows.h"

struct WorkerPool;

// Frames with fewer grid samples than this render on the calling thread
// (a 640 x 400 frame has 64,521).
constexpr int64_t kSplitMinSamples = 60000;

class SplitRenderer {
  public:
    SplitRenderer() = default;
    SplitRenderer(const SplitRenderer&) = delete;
    SplitRenderer& operator=(const SplitRenderer&) = delete;
    ~SplitRenderer();

    // Starts threads workers (0: one per processor; at most kMaxWorkers), the
    // calling thread among them. False when memory is short; where a thread
    // cannot start, fewer render.
    bool Start(int threads);

    // Renders the whole frame of shape at time value t into pixels (width x
    // height, row 0 at the bottom) through the best path, bit for bit as
    // RenderSizedFrame. Returns when every row is written. Without Start it
    // renders on the calling thread.
    void Render(const FrameShape& shape, uint32_t t, uint32_t* pixels);
    // The same into a buffer laid out as RenderFrameRowsInto's (row0, stride).
    void Render(const FrameShape& shape, uint32_t t, uint32_t* row0, ptrdiff_t stride);

    // The workers a large frame is split across.
    int Threads() const;

    // Frames of this many pixels or more are written by streaming stores
    // (FrameScratch::stream_from); kStreamFromPixels until set.
    void StreamFrom(int64_t pixels);

  private:
    static void RenderPart(void* self, int k);

    WorkerPool* pool_ = nullptr;
    std::vector<FrameScratch> scratch_{1};  // one per worker
    // The frame being rendered, for the workers.
    const FrameShape* shape_ = nullptr;
    uint32_t time_ = 0;
    uint32_t* row0_ = nullptr;
    ptrdiff_t stride_ = 0;
    int parts_ = 1;
    int64_t stream_from_ = kStreamFromPixels;
};
