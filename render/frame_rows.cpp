// The band renderer of frames of any size: each band of grid rows is
// sampled, filled along its rows, and turned into output rows (the odd ones
// by averaging two filled rows) and pixels before the next band starts. The
// stages come from the render path's BandKernel; the plain one below is the
// definition the others equal.
#include "render/frame_rows.h"

#include <algorithm>
#include <cstdlib>

#include "noise/noise.h"
#include "render/frame.h"
#include "render/shading.h"

namespace {

constexpr int kRowAlign = 64;     // room for whole-vector reads past a row's end
constexpr int kShadeSlack = 64;   // bytes past a shade row that a fill may read
constexpr int kFilledSlack = 128; // bytes past a filled row that a fill may write

int RoundUp(int n, int to) { return (n + to - 1) / to * to; }

// Grid rows of the band that starts at grid row g0, of at most `most`: fewer
// where that ends the band on the last row of a lattice cell of the finest
// octave, so that its rows past the first (carried from the band before)
// lie in one cell at every octave and a vector sampler takes them as one run
// instead of ending on a run of a row or two.
int BandRows(const std::vector<int32_t>& row_y, int g0, int most) {
    constexpr int kFinest = kOctaves - 1;
    auto cell = [&](int j) { return (static_cast<uint32_t>(row_y[j]) << kFinest) / kFixedOne; };
    for (int rows = most; rows > most / 2; --rows) {
        if (cell(g0 + rows - 1) != cell(g0 + rows)) return rows;
    }
    return most;
}

// Shades of grid rows j0 .. j0 + rows - 1 into shades (stride bytes a row):
// Turbulence at every grid point, the definition every path must equal.
void SampleRowsPlain(BandTables* tables, uint32_t t, int j0, int rows, uint8_t* shades, int stride) {
    const BandTables& s = *tables;
    const auto z = static_cast<FixedCoord>(t);  // the time value is used directly as a coordinate
    for (int r = 0; r < rows; ++r) {
        const int j = j0 + r;
        uint8_t* out = shades + r * stride;
        for (int i = 0; i < s.grid_cols; ++i) {
            const int32_t m = Turbulence(s.column_x[i], s.row_y[j], z, kOctaves) / 8;
            out[i] = StripeShade(m, s.column_stripe[i] + 80, s.row_stripe[j]);
        }
    }
}

// The even output row of grid shades g: samples on even columns, the
// truncating average of their neighbours on odd ones.
void FillRowsPlain(const uint8_t* shades, int shade_stride, int rows, int width, uint8_t* filled, int byte_stride) {
    for (int r = 0; r < rows; ++r) {
        const uint8_t* g = shades + r * shade_stride;
        uint8_t* row = filled + r * byte_stride;
        for (int c = 0; c < width; ++c) {
            const int k = c >> 1;
            row[c] = (c & 1) != 0 ? static_cast<uint8_t>((g[k] + g[k + 1]) >> 1) : g[k];
        }
    }
}

void OutputRowsPlain(const BandTables* /*tables*/, const uint8_t* filled, int byte_stride, uint8_t* odd_row, int r0,
                     int count, int width, uint32_t* first, ptrdiff_t out_stride) {
    for (int k = 0; k < count; ++k) {
        const int r = r0 + k;
        uint32_t* out = first + k * out_stride;
        const uint8_t* row = filled + (r / 2) * byte_stride;
        if ((r & 1) != 0) {
            const uint8_t* below = row + byte_stride;
            for (int c = 0; c < width; ++c) odd_row[c] = static_cast<uint8_t>((row[c] + below[c]) >> 1);
            row = odd_row;
        }
        for (int c = 0; c < width; ++c) out[c] = Palette[row[c]];
    }
}

// Columns 0 .. cols - 1 at octave k: offsets and fades into offset and
// fade, the runs of columns in one x cell into start (count + 1 entries)
// and cell; returns the count of runs.
int DecomposeColumns(const int32_t* column_x, int cols, int k, int32_t* offset, int32_t* fade, int32_t* start,
                     int32_t* cell) {
    int runs = 0;
    uint32_t previous = 0;
    for (int i = 0; i < cols; ++i) {
        const uint32_t v = static_cast<uint32_t>(column_x[i]) << k;  // doubling wraps in 32 bits, as Turbulence
        offset[i] = static_cast<int32_t>(v & (kFixedOne - 1));
        fade[i] = FadeOffset(offset[i]);
        const uint32_t whole_cell = v >> 10;
        if (i == 0 || whole_cell != previous) {
            start[runs] = i;
            cell[runs] = static_cast<int32_t>(whole_cell & (TableSize - 1));
            ++runs;
            previous = whole_cell;
        }
    }
    start[runs] = cols;
    return runs;
}

// Paths whose whole-frame kernel (RenderFrameWith) renders the base frame
// faster than their band stages do (frame_timing's first rows).
bool WholeFrameKernelFaster(RenderPath path) {
    return path == RenderPath::kPlain || path == RenderPath::kAvx512;
}

// Output rows row_begin .. row_end - 1 of a scale-1 frame (a crop of the base
// frame) through the whole-frame kernel, where that path's is faster and the
// rows need most of the base frame's samples anyway; false where the band
// renderer should take them. The kernel writes the whole base frame straight
// into the output only where that is laid out as its own pixels.
bool RenderFromBaseFrame(RenderPath path, const FrameShape& shape, uint32_t t, FrameScratch* scratch,
                         uint32_t* row0, ptrdiff_t stride, int row_begin, int row_end) {
    FrameScratch& s = *scratch;
    if (shape.scale_p != shape.scale_q || s.stages != kAllStages || !WholeFrameKernelFaster(path)) return false;
    // At 15/16 of the base frame's samples the band renderer costs about what
    // the whole frame and the copy of the crop do.
    const int64_t samples = int64_t{row_end / 2 - row_begin / 2 + 1} * shape.grid_cols;
    if (samples * 16 < int64_t{15} * (W / 2 + 1) * (H / 2 + 1)) return false;
    if (shape.width == W && stride == W && row_begin == 0 && row_end == H) {
        RenderFrameWith(path, t, s.base_bytes.data(), row0);
        return true;
    }
    RenderFrameWith(path, t, s.base_bytes.data(), s.base_pixels.data());
    for (int r = row_begin; r < row_end; ++r) {
        std::copy_n(s.base_pixels.data() + static_cast<size_t>(r) * W, shape.width, row0 + r * stride);
    }
    return true;
}

}  // namespace

const BandKernel kBandKernelPlain = {SampleRowsPlain, FillRowsPlain, OutputRowsPlain};

void PrepareScratch(const FrameShape& shape, FrameScratch* scratch) {
    FrameScratch& s = *scratch;
    if (s.width == shape.width && s.height == shape.height) return;
    s.shape = shape;
    const int cols = shape.grid_cols;
    const int padded = RoundUp(cols, kVectorPad) + kVectorPad;
    s.column_x.assign(static_cast<size_t>(padded), 0);
    s.column_stripe.assign(static_cast<size_t>(padded), 0);
    for (int i = 0; i < cols; ++i) {
        s.column_x[i] = ScaledGridCoord(shape, i, kGridStep);
        s.column_stripe[i] = (ScaledGridCoord(shape, i, 4) - 80) & (kSineTableSize - 1);
    }
    s.row_y.resize(static_cast<size_t>(shape.grid_rows));
    s.row_stripe.resize(static_cast<size_t>(shape.grid_rows));
    for (int j = 0; j < shape.grid_rows; ++j) {
        s.row_y[j] = ScaledGridCoord(shape, j, kGridStep);
        s.row_stripe[j] = ScaledGridCoord(shape, j, 7);
    }

    // Per octave: offsets and fades (padded), run starts (cols + 1) and run cells (cols).
    const size_t per_octave = 2 * static_cast<size_t>(padded) + 2 * static_cast<size_t>(cols) + 1;
    s.column_octaves.assign(per_octave * kOctaves, 0);
    s.blends.assign(static_cast<size_t>(kBlendPlanes) * padded * kOctaves, 0);
    BandTables& b = s.tables;
    b = BandTables{};
    b.grid_cols = cols;
    b.grid_rows = shape.grid_rows;
    b.padded_cols = padded;
    b.column_x = s.column_x.data();
    b.column_stripe = s.column_stripe.data();
    b.row_y = s.row_y.data();
    b.row_stripe = s.row_stripe.data();
    for (int k = 0; k < kOctaves; ++k) {
        int32_t* base = s.column_octaves.data() + per_octave * k;
        int32_t* offset = base;
        int32_t* fade = offset + padded;
        int32_t* start = fade + padded;
        int32_t* cell = start + cols + 1;
        b.cell_count[k] = DecomposeColumns(s.column_x.data(), cols, k, offset, fade, start, cell);
        b.column_offset[k] = offset;
        b.column_fade[k] = fade;
        b.cell_start[k] = start;
        b.cell_index[k] = cell;
        b.pq[k] = s.blends.data() + static_cast<size_t>(kBlendPlanes) * padded * k;
    }

    b.sine_folds = true;
    b.sine_polynomial = true;
    for (int k = 0; k < kSineTableSize; ++k) {
        b.sine_folds = b.sine_folds && std::abs(SineTable[k]) == std::abs(SineTable[SineFold(k)]);
        b.sine_polynomial = b.sine_polynomial && std::abs(SineTable[k]) == StripeSizeByPolynomial(k);
    }

    b.palette_grey = true;
    b.palette_root = true;
    for (uint32_t i = 0; i < kPaletteSize; ++i) {
        b.palette_grey = b.palette_grey && Palette[i] >> 8 == i * 0x101;
        b.palette_root = b.palette_root && (Palette[i] & 0xFF) == PaletteBlueByRoot(i);
    }

    s.shade_stride = RoundUp(cols, kRowAlign) + kShadeSlack;
    s.shades.assign(static_cast<size_t>(s.shade_stride) * (kBandGridRows + 1), 0);
    s.byte_stride = RoundUp(shape.width, kRowAlign) + kFilledSlack;
    s.filled.assign(static_cast<size_t>(s.byte_stride) * (kBandGridRows + 2), 0);
    // A scale-1 frame may go through the whole-frame kernel: its byte image,
    // and the base frame's pixels to crop from, made here with the rest, so
    // that rendering allocates nothing.
    const bool base_scale = shape.scale_p == shape.scale_q;
    s.base_bytes.assign(base_scale ? static_cast<size_t>(kByteRows) * kByteStride : 0, 0);
    s.base_pixels.assign(base_scale ? kPixelCount : 0, 0);
    s.width = shape.width;
    s.height = shape.height;
}

void RenderFrameRows(RenderPath path, const FrameShape& shape, uint32_t t, FrameScratch* scratch,
                     uint32_t* pixels, int row_begin, int row_end) {
    RenderFrameRowsInto(path, shape, t, scratch, pixels, shape.width, row_begin, row_end);
}

void RenderFrameRowsInto(RenderPath path, const FrameShape& shape, uint32_t t, FrameScratch* scratch,
                         uint32_t* row0, ptrdiff_t stride, int row_begin, int row_end) {
    if (row_begin >= row_end) return;
    if (!RenderPathAvailable(path)) path = RenderPath::kPlain;
    PrepareScratch(shape, scratch);
    if (RenderFromBaseFrame(path, shape, t, scratch, row0, stride, row_begin, row_end)) return;
    FrameScratch& s = *scratch;
    s.tables.stream_pixels = int64_t{shape.width} * shape.height >= s.stream_from;
    const BandKernel& kernel = RenderPathBandKernel(path);
    const int width = shape.width;
    uint8_t* const filled = s.filled.data();
    uint8_t* const odd_row = filled + static_cast<size_t>(s.byte_stride) * (kBandGridRows + 1);

    // Output row r reads grid row r / 2, and r / 2 + 1 when r is odd.
    const int last = row_end / 2;  // the last grid row read
    int g0 = row_begin / 2;        // the band's first grid row, in filled slot 0
    int have = 0;                  // filled slots that already hold their rows (the carried edge row)
    int r = row_begin;
    for (;;) {
        int rows = std::min(kBandGridRows + 1, last - g0 + 1);
        if (g0 + rows - 1 < last) rows = BandRows(s.row_y, g0, rows);
        if ((s.stages & kStageSamples) != 0) {
            kernel.sample_rows(&s.tables, t, g0 + have, rows - have, s.shades.data(), s.shade_stride);
        }
        if ((s.stages & kStageFills) != 0) {
            kernel.fill_rows(s.shades.data(), s.shade_stride, rows - have, width,
                             filled + static_cast<size_t>(have) * s.byte_stride, s.byte_stride);
        }
        const int band_last = g0 + rows - 1;
        // Rows up to the band's last grid row, which opens the next band.
        const int stop = band_last == last ? row_end : 2 * band_last;
        if ((s.stages & kStageOutput) != 0) {
            kernel.output_rows(&s.tables, filled, s.byte_stride, odd_row, r - 2 * g0, stop - r, width,
                               row0 + r * stride, stride);
        }
        r = stop;
        if (band_last == last) return;
        std::copy_n(filled + static_cast<size_t>(rows - 1) * s.byte_stride, width, filled);
        g0 = band_last;
        have = 1;
    }
}

void RenderSizedFrame(const FrameShape& shape, uint32_t t, FrameScratch* scratch, uint32_t* pixels) {
    RenderFrameRows(BestRenderPath(), shape, t, scratch, pixels, 0, shape.height);
}
