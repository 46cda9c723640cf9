// Frame shapes: the cover scale and the grid a frame size implies.
#include "render/frame_shape.h"

bool MakeFrameShape(int width, int height, FrameShape* shape) {
    if (width < 1 || height < 1 || width > kMaxFrameSide || height > kMaxFrameSide ||
        int64_t{width} * height > kMaxFramePixels) {
        return false;
    }
    FrameShape s;
    s.width = width;
    s.height = height;
    // width / 320 >= height / 200, compared without division.
    if (int64_t{width} * kBaseHeight >= int64_t{height} * kBaseWidth) {
        s.scale_p = static_cast<uint32_t>(width);
        s.scale_q = kBaseWidth;
    } else {
        s.scale_p = static_cast<uint32_t>(height);
        s.scale_q = kBaseHeight;
    }
    s.grid_cols = width / 2 + 1;
    s.grid_rows = height / 2 + 1;
    *shape = s;
    return true;
}

FrameShape BaseFrameShape() {
    FrameShape s;
    MakeFrameShape(kBaseWidth, kBaseHeight, &s);
    return s;
}
