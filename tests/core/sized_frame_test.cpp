// Frames of any size: every render path, whole or split into row ranges,
// against a direct reading of the definition (the whole even-sized image
// sampled, filled and cropped to its bottom-left pixels), and the base frame
// at 320 x 200.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <tuple>
#include <vector>

#include "noise/noise.h"
#include "render/frame.h"
#include "render/frame_rows.h"
#include "render/frame_split.h"
#include "render/render_path.h"
#include "render/shading.h"
#include "render/tables.h"

namespace {

// The definition, written out independently of the band renderer.
std::vector<uint32_t> Reference(int w, int h, uint32_t t) {
    const bool by_width = int64_t{w} * 200 >= int64_t{h} * 320;
    const int64_t p = by_width ? w : h, q = by_width ? 320 : 200;
    const int ew = (w + 1) / 2 * 2, eh = (h + 1) / 2 * 2;  // W', H'
    std::vector<uint8_t> img(static_cast<size_t>(ew + 1) * (eh + 1));
    auto at = [&](int c, int r) -> uint8_t& { return img[static_cast<size_t>(r) * (ew + 1) + c]; };
    for (int j = 0; j <= eh / 2; ++j) {
        for (int i = 0; i <= ew / 2; ++i) {
            const int32_t v = Turbulence(static_cast<int32_t>(32 * i * q / p), static_cast<int32_t>(32 * j * q / p),
                                         static_cast<int32_t>(t), 4);
            const int32_t m = v / 8;
            const int32_t a = SineTable[(7 * j * q / p + m - 120) & 1023];
            const int32_t b = SineTable[(4 * i * q / p + m - 80) & 1023];
            at(2 * i, 2 * j) = static_cast<uint8_t>(std::abs(a * b) >> 8);
        }
    }
    for (int r = 0; r <= eh; r += 2) {
        for (int k = 0; k < ew / 2; ++k) at(2 * k + 1, r) = static_cast<uint8_t>((at(2 * k, r) + at(2 * k + 2, r)) >> 1);
    }
    for (int r = 1; r < eh; r += 2) {
        for (int c = 0; c < ew; ++c) at(c, r) = static_cast<uint8_t>((at(c, r - 1) + at(c, r + 1)) >> 1);
    }
    std::vector<uint32_t> out(static_cast<size_t>(w) * h);
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) out[static_cast<size_t>(r) * w + c] = Palette[at(c, r)];
    }
    return out;
}

// Empty when equal, else the first differing pixel.
std::string FirstDifference(const std::vector<uint32_t>& want, const std::vector<uint32_t>& got, int w) {
    for (size_t k = 0; k < want.size(); ++k) {
        if (want[k] != got[k]) {
            char text[96];
            std::snprintf(text, sizeof text, "pixel (%d, %d): want %06x, got %06x", static_cast<int>(k % w),
                          static_cast<int>(k / w), static_cast<unsigned>(want[k]), static_cast<unsigned>(got[k]));
            return text;
        }
    }
    return {};
}

struct Case {
    int w, h;
    int32_t seed;
    uint32_t t;
    int pad = 0;             // pixels after each row in the buffer
    bool top_first = false;  // the buffer's top row first (a negative stride)
};

constexpr uint32_t kUnwritten = 0xDEADBEEFu;  // no palette entry: 0x00RRGGBB

// A frame's buffer laid out as k's, every pixel kUnwritten; (c, r) at row0[r * stride + c].
struct RowBuffer {
    explicit RowBuffer(const Case& k)
        : pixels(static_cast<size_t>(k.w + k.pad) * k.h, kUnwritten),
          stride(k.top_first ? -(k.w + k.pad) : k.w + k.pad),
          row0(pixels.data() + (k.top_first ? static_cast<size_t>(k.h - 1) * (k.w + k.pad) : 0)) {}
    std::vector<uint32_t> Frame(int w, int h) const {  // row 0 first, w pixels a row
        std::vector<uint32_t> frame(static_cast<size_t>(w) * h);
        for (int r = 0; r < h; ++r) std::copy_n(row0 + r * stride, w, frame.begin() + static_cast<ptrdiff_t>(r) * w);
        return frame;
    }
    std::vector<uint32_t> pixels;
    ptrdiff_t stride;
    uint32_t* row0;
};

// Every available path at size k against the definition, whole and in
// uneven row ranges with one scratch reused; the tables must be built.
// Frames of stream_from pixels or more are written by streaming stores.
void ExpectEveryPathEqualsTheDefinition(const Case& k, int64_t stream_from = kStreamFromPixels) {
    FrameShape shape;
    ASSERT_TRUE(MakeFrameShape(k.w, k.h, &shape));
    const std::vector<uint32_t> want = Reference(k.w, k.h, k.t);
    const bool laid_out = k.pad != 0 || k.top_first;
    for (RenderPath path : kAllRenderPaths) {
        if (!RenderPathAvailable(path)) continue;
        FrameScratch scratch;
        scratch.stream_from = stream_from;
        auto render = [&](RowBuffer* got, int r0, int r1) {
            laid_out ? RenderFrameRowsInto(path, shape, k.t, &scratch, got->row0, got->stride, r0, r1)
                     : RenderFrameRows(path, shape, k.t, &scratch, got->row0, r0, r1);
        };
        RowBuffer got(k);
        render(&got, 0, k.h);
        ASSERT_EQ(FirstDifference(want, got.Frame(k.w, k.h), k.w), "")
            << RenderPathName(path) << " at " << k.w << "x" << k.h << ", seed " << k.seed << ", time " << k.t
            << ", pad " << k.pad << ", top first " << k.top_first;
        // Nothing written between the rows.
        ASSERT_EQ(std::count(got.pixels.begin(), got.pixels.end(), kUnwritten), int64_t{k.pad} * k.h);
        // The same frame in uneven row ranges, one scratch reused, as threads and bands split it.
        RowBuffer ranges(k);
        for (int r0 = 0, step = 1; r0 < k.h; r0 += step, step = step * 3 % 37 + 1) {
            render(&ranges, r0, std::min(k.h, r0 + step));
        }
        ASSERT_EQ(FirstDifference(want, ranges.Frame(k.w, k.h), k.w), "")
            << RenderPathName(path) << " in row ranges at " << k.w << "x" << k.h << ", time " << k.t << ", pad "
            << k.pad << ", top first " << k.top_first;
    }
}

TEST(SizedFrame, EveryPathEqualsTheDefinitionAtEverySize) {
    const Case cases[] = {
        {1, 1, 1, 999},        {2, 2, 7, 5},           {3, 5, 1, 1024},      {5, 3, 11, 77},
        {17, 9, -3, 0x55555555u}, {320, 200, 1, 999}, {321, 201, 2, 12345}, {200, 320, 9, 4000},
        // Crops of the base frame that are most of it: the whole-frame kernel where it is faster.
        {320, 199, 3, 555},    {300, 200, 4, 1u << 20}, {320, 188, 5, 7777},
        {333, 47, 4, 262143},  {640, 400, 5, 31},      {1366, 768, 6, 99999},
        // Scales between 1 and 2: cells of 32 to 64 grid steps, rows stepping by 16 to 32 units unevenly.
        {400, 250, 8, 7},      {487, 301, 3, 0xFFFFFFFFu}, {631, 35, 12, 262144 + 5},
        // Heights that are no multiple of a band's 16 output rows; widths no multiple of a vector.
        {1283, 33, 13, 1u << 31}, {959, 17, 14, 600},
        // Very large scales: a cell spans hundreds of grid columns, and up to 8193 columns a row.
        {16384, 16, 15, 4321},  {7680, 40, 16, 70000},
        // Buffers with room after each row, or the top row first (a window's surface).
        {320, 200, 1, 999, 0, true}, {320, 200, 1, 999, 7}, {320, 199, 3, 555, 1, true}, {300, 200, 4, 1u << 20, 9},
        {487, 301, 3, 0xFFFFFFFFu, 0, true}, {487, 301, 3, 0xFFFFFFFFu, 5}, {1283, 33, 13, 1u << 31, 3, true},
        {959, 17, 14, 600, 64}, {1, 1, 1, 999, 0, true}, {17, 9, -3, 0x55555555u, 2, true},
    };
    for (const Case& k : cases) {
        BuildTables(k.seed);
        ExpectEveryPathEqualsTheDefinition(k);
        if (HasFatalFailure()) return;
    }
}

// Widths 1 to 70: vectors of 4, 8 and 16 lanes that end inside the row, and
// cells (of a few columns at these scales) that start inside a vector.
TEST(SizedFrame, EveryPathEqualsTheDefinitionAtNarrowWidths) {
    BuildTables(21);
    for (int w = 1; w <= 70; ++w) {
        ExpectEveryPathEqualsTheDefinition({w, 1 + w * 7 % 40, 21, static_cast<uint32_t>(w) * 2654435761u});
        if (HasFatalFailure()) return;
    }
}

// Pixels written by streaming stores (every frame here, whatever its size):
// rows that start at every alignment, vectors cut by the row's end, odd
// rows averaged on the way.
TEST(SizedFrame, StreamedPixelsEqualTheDefinition) {
    BuildTables(33);
    for (const Case& k : {Case{1, 1, 33, 5}, Case{3, 5, 33, 9}, Case{70, 9, 33, 1u << 30}, Case{333, 47, 33, 262143},
                          Case{1283, 33, 33, 600}, Case{7680, 7, 33, 70000},
                          // Rows that start at every alignment in a padded or top-first buffer.
                          Case{333, 47, 33, 262143, 0, true}, Case{333, 47, 33, 262143, 3},
                          Case{1283, 33, 33, 600, 1, true}, Case{70, 9, 33, 1u << 30, 5, true},
                          Case{7680, 7, 33, 70000, 13}}) {
        ExpectEveryPathEqualsTheDefinition(k, 0);
        if (HasFatalFailure()) return;
    }
    for (int w = 1; w <= 40; ++w) {
        ExpectEveryPathEqualsTheDefinition({w, 3 + w % 5, 33, static_cast<uint32_t>(w) * 40503u}, 0);
        ExpectEveryPathEqualsTheDefinition({w, 3 + w % 5, 33, static_cast<uint32_t>(w) * 40503u, w % 5, w % 2 == 1}, 0);
        if (HasFatalFailure()) return;
    }
}

// Tables that lack what a path's short cuts rely on (the sine table's
// symmetries, the sizes its polynomial gives, a grey palette, blue as a square
// root): every path still equals the definition (each is checked, not assumed).
TEST(SizedFrame, TablesWithoutWhatShortCutsRelyOn) {
    const struct {
        const char* what;
        void (*spoil)();
    } kCases[] = {
        {"sine table without its symmetries", [] { for (int k = 600; k < 800; ++k) SineTable[k] = SineTable[k] * 3 / 4; }},
        {"sine sizes off the polynomial, symmetries kept",
         [] {
             const int32_t size = SineTable[51] + 1;
             SineTable[51] = SineTable[461] = size;
             SineTable[563] = SineTable[973] = -size;
         }},
        {"palette not grey", [] { for (int i = 0; i < kPaletteSize; i += 3) Palette[i] ^= 0x01020000u; }},
        {"grey palette, blue not a square root", [] { Palette[200] += 1; }},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        BuildTables(5);
        c.spoil();
        ExpectEveryPathEqualsTheDefinition({641, 203, 5, 123456});
    }
    BuildTables(5);
}

// The built tables have every property a short cut relies on, so the fast
// ways are taken (a coefficient or rule that drifted would only cost speed).
TEST(SizedFrame, BuiltTablesAllowEveryShortCut) {
    BuildTables(1);
    FrameScratch scratch;
    PrepareScratch(BaseFrameShape(), &scratch);
    const BandTables& b = scratch.tables;
    EXPECT_TRUE(b.sine_folds && b.sine_polynomial && b.palette_grey && b.palette_root);
}

TEST(SizedFrame, BaseSizeIsTheBaseFrameAndLimitsHold) {
    BuildTables(1);
    ASSERT_TRUE(AllocateFrameBuffers());
    RenderFramePlain(999, ByteImage, PixelBuffer);
    std::vector<uint32_t> got(kPixelCount);
    FrameScratch scratch;
    RenderSizedFrame(BaseFrameShape(), 999, &scratch, got.data());
    EXPECT_EQ(FirstDifference(std::vector<uint32_t>(PixelBuffer, PixelBuffer + kPixelCount), got, W), "");
    FreeFrameBuffers();

    FrameShape shape;
    EXPECT_TRUE(MakeFrameShape(kMaxFrameSide, 4096, &shape));
    EXPECT_EQ(shape.scale_p, static_cast<uint32_t>(kMaxFrameSide));
    EXPECT_TRUE(MakeFrameShape(1920, 1200, &shape));  // 6 = 1920 / 320 = 1200 / 200: by width
    EXPECT_EQ(shape.scale_q, 320u);
    EXPECT_TRUE(MakeFrameShape(1000, 1000, &shape));
    EXPECT_EQ(shape.scale_q, 200u);
    for (auto [w, h] : {std::pair{0, 1}, {1, 0}, {-1, 5}, {kMaxFrameSide + 1, 1}, {1, kMaxFrameSide + 1},
                        {kMaxFrameSide, kMaxFrameSide}}) {
        EXPECT_FALSE(MakeFrameShape(w, h, &shape)) << w << "x" << h;
    }
    EXPECT_EQ(shape.width, 1000);  // left as it was
}

TEST(SizedFrame, SplitAcrossThreadsEqualsOneThread) {
    BuildTables(21);
    for (auto [w, h, threads, pad, top_first] :  // the last two: the buffer's, as Case's
         {std::tuple{1001, 701, 2, 0, false}, {640, 401, 3, 0, false}, {1920, 1080, 5, 0, false}, {100, 60, 2, 0, false},
          {1920, 1080, 2, 0, true}, {1001, 701, 3, 16, true}, {640, 401, 2, 5, false}, {100, 60, 2, 3, true}}) {
        FrameShape shape;
        ASSERT_TRUE(MakeFrameShape(w, h, &shape));
        std::vector<uint32_t> want(static_cast<size_t>(w) * h);
        FrameScratch scratch;
        RenderSizedFrame(shape, 4321, &scratch, want.data());
        SplitRenderer split;
        ASSERT_TRUE(split.Start(threads));
        EXPECT_EQ(split.Threads(), threads);
        for (uint32_t t : {4321u, 4321u}) {  // twice: the workers' second round
            RowBuffer got({w, h, 21, t, pad, top_first});
            split.StreamFrom(pad != 0 ? 0 : kStreamFromPixels);  // streamed into the padded buffers
            pad == 0 && !top_first ? split.Render(shape, t, got.row0) : split.Render(shape, t, got.row0, got.stride);
            ASSERT_EQ(FirstDifference(want, got.Frame(w, h), w), "")
                << w << "x" << h << " on " << threads << " threads, pad " << pad << ", top first " << top_first;
            ASSERT_EQ(std::count(got.pixels.begin(), got.pixels.end(), kUnwritten), int64_t{pad} * h);
        }
    }
}

}  // namespace
