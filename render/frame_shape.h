// The shape of a frame of any size: how a w x h picture samples the noise
// field. The field is the base frame's, 320 x 200 pixels, scaled by the
// cover scale p / q = max(w / 320, h / 200) so that it fills both sides, and
// the picture is its bottom-left w x h pixels. At 320 x 200 this is the base
// frame bit for bit; at 640 x 400 the same field sampled twice as finely.
#pragma once

#include <cstdint>

// Largest side and pixel count a frame may have: a 8192 x 8192 frame is
// 256 MiB of pixels, which every program can still hold a few of.
constexpr int kMaxFrameSide = 16384;
constexpr int64_t kMaxFramePixels = int64_t{8192} * 8192;
constexpr int kBaseWidth = 320;   // the base frame, scale 1
constexpr int kBaseHeight = 200;

struct FrameShape {
    int width = 0, height = 0;  // output pixels, row 0 at the bottom
    // The cover scale p / q: p = width, q = 320 when width / 320 >= height / 200,
    // else p = height, q = 200.
    uint32_t scale_p = 1, scale_q = 1;
    // Grid samples the picture reads, per grid row and in all: columns
    // 0 .. width / 2 and rows 0 .. height / 2 (sample (i, j) is pixel (2i, 2j)).
    int grid_cols = 0, grid_rows = 0;
};

// Fills shape for a width x height frame. Returns false, leaving it as it
// was, when a side is below 1 or above kMaxFrameSide, or the frame has more
// than kMaxFramePixels pixels.
bool MakeFrameShape(int width, int height, FrameShape* shape);

// The shape of the base frame, 320 x 200.
FrameShape BaseFrameShape();

// floor(step * n * q / p): grid index n on an axis whose base-frame step is
// step (32 for the noise coordinates, 4 and 7 for the stripes), scaled.
inline int32_t ScaledGridCoord(const FrameShape& shape, int n, int step) {
    return static_cast<int32_t>(uint64_t{static_cast<uint32_t>(step)} * static_cast<uint32_t>(n) * shape.scale_q /
                                shape.scale_p);
}
