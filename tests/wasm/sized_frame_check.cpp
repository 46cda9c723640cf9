// The band renderer of the web build's SIMD module, checked under Node:
// every path the module has (plain and SIMD128) against the plain one, at
// the sizes tests/core/sized_frame_test.cpp takes natively (where the plain
// path is checked against a direct reading of the definition), whole and in
// uneven row ranges, and with tables that lack the symmetries the vector
// paths may use. No GoogleTest in this build: it prints one line per
// failure and closes with "N passed, M failed"; the exit status is 1 when
// any failed.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "render/frame_rows.h"
#include "render/render_path.h"
#include "render/shading.h"
#include "render/tables.h"

namespace {

int passed = 0, failed = 0;

std::vector<uint32_t> Render(RenderPath path, const FrameShape& shape, uint32_t t, bool in_ranges) {
    std::vector<uint32_t> pixels(static_cast<size_t>(shape.width) * shape.height, 0xDEADBEEFu);
    FrameScratch scratch;
    if (!in_ranges) {
        RenderFrameRows(path, shape, t, &scratch, pixels.data(), 0, shape.height);
        return pixels;
    }
    for (int r0 = 0, step = 1; r0 < shape.height; r0 += step, step = step * 3 % 37 + 1) {
        RenderFrameRows(path, shape, t, &scratch, pixels.data(), r0, std::min(shape.height, r0 + step));
    }
    return pixels;
}

void Check(int w, int h, uint32_t t) {
    FrameShape shape;
    if (!MakeFrameShape(w, h, &shape)) {
        std::printf("FAILED: no shape for %dx%d\n", w, h);
        ++failed;
        return;
    }
    const std::vector<uint32_t> want = Render(RenderPath::kPlain, shape, t, false);
    for (RenderPath path : kAllRenderPaths) {
        if (path == RenderPath::kPlain || !RenderPathAvailable(path)) continue;
        for (bool in_ranges : {false, true}) {
            const std::vector<uint32_t> got = Render(path, shape, t, in_ranges);
            const auto diff = std::mismatch(want.begin(), want.end(), got.begin());
            if (diff.first == want.end()) {
                ++passed;
                continue;
            }
            const auto k = static_cast<int>(diff.first - want.begin());
            std::printf("FAILED: %s%s at %dx%d, time %u: pixel (%d, %d) plain %06x, got %06x\n", RenderPathName(path),
                        in_ranges ? " in row ranges" : "", w, h, static_cast<unsigned>(t), k % w, k / w,
                        static_cast<unsigned>(*diff.first), static_cast<unsigned>(*diff.second));
            ++failed;
        }
    }
}

}  // namespace

int main() {
    struct Case {
        int w, h;
        int32_t seed;
        uint32_t t;
    };
    const Case cases[] = {
        {1, 1, 1, 999},       {2, 2, 7, 5},          {3, 5, 1, 1024},          {5, 3, 11, 77},
        {17, 9, -3, 0x55555555u}, {320, 200, 1, 999}, {321, 201, 2, 12345},   {200, 320, 9, 4000},
        {333, 47, 4, 262143}, {640, 400, 5, 31},     {1366, 768, 6, 99999},    {400, 250, 8, 7},
        {487, 301, 3, 0xFFFFFFFFu}, {631, 35, 12, 262144 + 5}, {1283, 33, 13, 1u << 31}, {959, 17, 14, 600},
        {16384, 16, 15, 4321}, {7680, 40, 16, 70000},
    };
    for (const Case& k : cases) {
        BuildTables(k.seed);
        Check(k.w, k.h, k.t);
    }
    BuildTables(21);
    for (int w = 1; w <= 70; ++w) Check(w, 1 + w * 7 % 40, static_cast<uint32_t>(w) * 2654435761u);
    // Tables without their symmetries: a sine table that does not fold, a palette that is not grey.
    BuildTables(5);
    for (int k = 600; k < 800; ++k) SineTable[k] = SineTable[k] * 3 / 4;
    for (int i = 0; i < kPaletteSize; i += 3) Palette[i] ^= 0x01020000u;
    Check(641, 203, 123456);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
