// Frames of any size, rendered a band of rows at a time: grid samples, the
// horizontal and vertical fills and the palette, all within a few rows, so
// that a large frame streams through the cache once. A frame may be split
// across threads by rows, each thread with its own FrameScratch; the tables
// are the only thing they share, read-only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/band_kernel.h"
#include "render/frame_shape.h"
#include "render/render_path.h"

// Grid rows sampled at a time: a band of rows plus the shared edge row.
constexpr int kBandGridRows = 24;
static_assert(kBandGridRows + 1 <= kMaxSampleRows, "a band's grid rows go to the sampler in one call");

// The stages of a band, for benchmarks that time them apart (FrameScratch::stages).
constexpr unsigned kStageSamples = 1;  // grid samples into shades
constexpr unsigned kStageFills = 2;    // shades filled along rows
constexpr unsigned kStageOutput = 4;   // odd rows averaged, the palette, the pixels written
constexpr unsigned kAllStages = kStageSamples | kStageFills | kStageOutput;
#define NOISE_FRAME_STAGES 1  // this header has the stage flags above

// Frames of at least this many pixels (16 MiB of them) are written by
// streaming stores, which bypass the cache: they would only evict the
// tables and bands, and the frame would not stay cached for its reader.
constexpr int64_t kStreamFromPixels = int64_t{4} << 20;

// One thread's working space for frames of one shape at a time: the
// per-column and per-row coordinates of the grid, the vector samplers'
// tables, a band of grid shades and the filled byte rows. Made once and
// reused, on the heap (it grows with the frame); a new shape remakes it.
struct FrameScratch {
    int width = 0, height = 0;  // the shape prepared for; 0 before the first frame
    FrameShape shape;
    std::vector<int32_t> column_x;       // noise x of grid column i: floor(32 i q / p)
    std::vector<int32_t> column_stripe;  // (floor(4 i q / p) - 80) mod 1024, padded
    std::vector<int32_t> row_y;          // noise y of grid row j: floor(32 j q / p)
    std::vector<int32_t> row_stripe;     // floor(7 j q / p)
    std::vector<int32_t> column_octaves;  // per octave: x offsets, fades, run starts, run cells
    std::vector<int32_t> blends;         // per octave: the vector samplers' P and Q
    BandTables tables;                   // views of the above
    int shade_stride = 0;                // bytes per band row: grid_cols rounded up to 64, plus 64
    std::vector<uint8_t> shades;         // (kBandGridRows + 1) rows of grid shades
    int byte_stride = 0;                 // bytes per filled row: width rounded up to 64, plus 128
    std::vector<uint8_t> filled;         // (kBandGridRows + 1) filled even rows plus one odd row
    int64_t stream_from = kStreamFromPixels;  // frames of this many pixels or more are streamed
    std::vector<uint8_t> base_bytes;     // whole base-size frames through the whole-frame kernel:
    std::vector<uint32_t> base_pixels;   //   its byte image, and its pixels when they are cropped
    unsigned stages = kAllStages;        // benchmarks only: the stages to run
};

// Makes scratch ready for frames of shape (does nothing when it already is).
void PrepareScratch(const FrameShape& shape, FrameScratch* scratch);

// Renders output rows row_begin .. row_end - 1 (0 <= row_begin <= row_end <=
// height) of the frame of shape at time value t through path into pixels,
// the whole frame's buffer (pixel (c, r) at r * width + c, row 0 at the
// bottom). Reads only the noise and shading tables, which must be built.
// An unavailable path falls back to the plain one.
void RenderFrameRows(RenderPath path, const FrameShape& shape, uint32_t t, FrameScratch* scratch,
                     uint32_t* pixels, int row_begin, int row_end);

// As RenderFrameRows, into a buffer laid out otherwise: pixel (c, r) at
// row0[r * stride + c], stride pixels from one row's first to the next's:
// at least the width, or at most minus the width for a buffer that holds the
// top row first (row0 then points at its last row). Only the frame's pixels
// are written; whatever lies between rows is left as it was.
void RenderFrameRowsInto(RenderPath path, const FrameShape& shape, uint32_t t, FrameScratch* scratch,
                         uint32_t* row0, ptrdiff_t stride, int row_begin, int row_end);

// The whole frame through the fastest path, on the calling thread.
void RenderSizedFrame(const FrameShape& shape, uint32_t t, FrameScratch* scratch, uint32_t* pixels);
