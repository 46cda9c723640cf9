// The frame splitter: rows in equal ranges, each starting on an even row, so
// that two ranges share at most the one grid row between them.
#include "render/frame_split.h"

#include <cstddef>

#include "platform/workers.h"

SplitRenderer::~SplitRenderer() { StopWorkers(pool_); }

bool SplitRenderer::Start(int threads) {
    StopWorkers(pool_);
    BestRenderPath();  // decided here, before any worker asks
    pool_ = StartWorkers(threads <= 0 ? ProcessorCount() : threads);
    if (pool_ == nullptr) return false;
    scratch_.resize(static_cast<size_t>(WorkerCount(pool_)));
    StreamFrom(stream_from_);
    return true;
}

void SplitRenderer::StreamFrom(int64_t pixels) {
    stream_from_ = pixels;
    for (FrameScratch& s : scratch_) s.stream_from = pixels;
}

int SplitRenderer::Threads() const { return pool_ == nullptr ? 1 : WorkerCount(pool_); }

void SplitRenderer::Render(const FrameShape& shape, uint32_t t, uint32_t* pixels) {
    Render(shape, t, pixels, shape.width);
}

void SplitRenderer::Render(const FrameShape& shape, uint32_t t, uint32_t* row0, ptrdiff_t stride) {
    const int64_t samples = int64_t{shape.grid_cols} * shape.grid_rows;
    if (pool_ == nullptr || WorkerCount(pool_) == 1 || samples < kSplitMinSamples) {
        RenderFrameRowsInto(BestRenderPath(), shape, t, &scratch_[0], row0, stride, 0, shape.height);
        return;
    }
    // Every worker's scratch made here, so that a shortage of memory throws
    // on the calling thread, not on a worker.
    for (FrameScratch& scratch : scratch_) PrepareScratch(shape, &scratch);
    shape_ = &shape;
    time_ = t;
    row0_ = row0;
    stride_ = stride;
    parts_ = WorkerCount(pool_);
    RunWorkers(pool_, RenderPart, this);
}

void SplitRenderer::RenderPart(void* self, int k) {
    auto* s = static_cast<SplitRenderer*>(self);
    const int pairs = (s->shape_->height + 1) / 2;  // rows two by two, so every range starts even
    const int begin = 2 * (pairs * k / s->parts_);
    const int end = k + 1 == s->parts_ ? s->shape_->height : 2 * (pairs * (k + 1) / s->parts_);
    RenderFrameRowsInto(BestRenderPath(), *s->shape_, s->time_, &s->scratch_[static_cast<size_t>(k)], s->row0_,
                        s->stride_, begin, end);
}
