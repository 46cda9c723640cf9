// What the screen saver draws in a window of a given size: the frame's
// shape and the whole factor it is shown at (the scale rule), and the
// moment a test may hold it at. Portable: no Windows headers.
#pragma once

#include <cstdint>

#include "render/frame_shape.h"
#include "render/render_path.h"

struct SaverFrame {
    FrameShape shape;  // the frames rendered
    int scale = 1;     // shown at scale x their size; 1: pixel for pixel
};

// The scale rule. A window of width x height pixels (each at least 1) is
// drawn pixel for pixel when path, the render path the frames go through,
// is AVX2 or faster (AVX-512, SIMD128). The slower paths cost several
// times as much per pixel: SSE2 draws at most a half of each side and
// shows it at 2, the plain path at most a quarter at 4; the factor is
// lowered again as far as needed to keep the frame at least the base
// frame's 320 pixels wide or 200 high, so a small window (the preview)
// stays sharp. Whatever the path, the factor is raised until the frame
// fits kMaxFrameSide and kMaxFramePixels. The frame is ceil(width / scale)
// x ceil(height / scale) pixels, so scale x its size covers the window.
SaverFrame ChooseSaverFrame(RenderPath path, int width, int height);

// The moment a test may hold the screen saver at, from the environment
// variable kSaverMomentVariable: "SEED:TIME", two decimal numbers of at
// most 32 bits (the seed's bits as noise-frame --seed takes them, the time
// value as --time). False, leaving the outputs alone, for anything else;
// the screen saver then animates from a clock seed as always. A still
// picture is all the variable can change.
constexpr const char* kSaverMomentVariable = "NOISE_SAVER_MOMENT";
bool ParseSaverMoment(const char* text, uint32_t* seed, uint32_t* time);
