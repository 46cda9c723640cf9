// The band renderer of frames of any size: each band of grid rows is
// sampled, filled along its rows, and turned into output rows (the odd ones
// by averaging two filled rows) and pixels before the next band starts.
#include "render/frame_rows.h"

#include <algorithm>

#include "noise/noise.h"
#include "render/frame.h"
#include "render/shading.h"

namespace {

constexpr int kRowAlign = 64;  // room for whole-vector reads past a row's end

int RoundUp(int n, int to) { return (n + to - 1) / to * to; }

// Shades of grid rows j0 .. j0 + rows - 1 into shades (stride bytes a row):
// Turbulence at every grid point, the definition every path must equal.
void SampleRowsPlain(const FrameScratch& s, uint32_t t, int j0, int rows, uint8_t* shades, int stride) {
    const auto z = static_cast<FixedCoord>(t);  // the time value is used directly as a coordinate
    for (int r = 0; r < rows; ++r) {
        const int j = j0 + r;
        uint8_t* out = shades + r * stride;
        for (int i = 0; i < s.shape.grid_cols; ++i) {
            const int32_t m = Turbulence(s.column_x[i], s.row_y[j], z, kOctaves) / 8;
            out[i] = StripeShade(m, s.column_stripe[i], s.row_stripe[j]);
        }
    }
}

// The even output row of grid shades g: samples on even columns, the
// truncating average of their neighbours on odd ones.
void FillRow(const uint8_t* g, int width, uint8_t* row) {
    for (int c = 0; c < width; ++c) {
        const int k = c >> 1;
        row[c] = (c & 1) != 0 ? static_cast<uint8_t>((g[k] + g[k + 1]) >> 1) : g[k];
    }
}

void AverageRows(const uint8_t* above, const uint8_t* below, int width, uint8_t* row) {
    for (int c = 0; c < width; ++c) row[c] = static_cast<uint8_t>((above[c] + below[c]) >> 1);
}

void PaletteRow(const uint8_t* row, int width, uint32_t* out) {
    for (int c = 0; c < width; ++c) out[c] = Palette[row[c]];
}

}  // namespace

void PrepareScratch(const FrameShape& shape, FrameScratch* scratch) {
    FrameScratch& s = *scratch;
    if (s.width == shape.width && s.height == shape.height) return;
    s.shape = shape;
    s.column_x.resize(static_cast<size_t>(shape.grid_cols));
    s.column_stripe.resize(static_cast<size_t>(shape.grid_cols));
    for (int i = 0; i < shape.grid_cols; ++i) {
        s.column_x[i] = ScaledGridCoord(shape, i, kGridStep);
        s.column_stripe[i] = ScaledGridCoord(shape, i, 4);
    }
    s.row_y.resize(static_cast<size_t>(shape.grid_rows));
    s.row_stripe.resize(static_cast<size_t>(shape.grid_rows));
    for (int j = 0; j < shape.grid_rows; ++j) {
        s.row_y[j] = ScaledGridCoord(shape, j, kGridStep);
        s.row_stripe[j] = ScaledGridCoord(shape, j, 7);
    }
    s.shade_stride = RoundUp(shape.grid_cols, kRowAlign);
    s.shades.assign(static_cast<size_t>(s.shade_stride) * (kBandGridRows + 1), 0);
    s.byte_stride = RoundUp(shape.width, kRowAlign);
    s.filled.assign(static_cast<size_t>(s.byte_stride) * (kBandGridRows + 2), 0);
    s.width = shape.width;
    s.height = shape.height;
}

void RenderFrameRows(RenderPath path, const FrameShape& shape, uint32_t t, FrameScratch* scratch,
                     uint32_t* pixels, int row_begin, int row_end) {
    if (row_begin >= row_end) return;
    (void)path;  // every path samples through the plain definition for now
    PrepareScratch(shape, scratch);
    FrameScratch& s = *scratch;
    const int width = shape.width;
    uint8_t* odd_row = s.filled.data() + static_cast<size_t>(s.byte_stride) * (kBandGridRows + 1);

    // Output row r reads grid row r / 2, and r / 2 + 1 when r is odd.
    const int last = row_end / 2;  // the last grid row read
    int g0 = row_begin / 2;        // the band's first grid row, in filled slot 0
    int have = 0;                  // filled slots that already hold their rows (the carried edge row)
    int r = row_begin;
    for (;;) {
        const int rows = std::min(kBandGridRows + 1, last - g0 + 1);
        SampleRowsPlain(s, t, g0 + have, rows - have, s.shades.data(), s.shade_stride);
        for (int k = have; k < rows; ++k) {
            FillRow(s.shades.data() + (k - have) * s.shade_stride, width,
                    s.filled.data() + static_cast<size_t>(k) * s.byte_stride);
        }
        const int band_last = g0 + rows - 1;
        // Rows up to the band's last grid row, which opens the next band.
        const int stop = band_last == last ? row_end : 2 * band_last;
        for (; r < stop; ++r) {
            const uint8_t* above = s.filled.data() + static_cast<size_t>(r / 2 - g0) * s.byte_stride;
            const uint8_t* row = above;
            if ((r & 1) != 0) {
                AverageRows(above, above + s.byte_stride, width, odd_row);
                row = odd_row;
            }
            PaletteRow(row, width, pixels + static_cast<size_t>(r) * width);
        }
        if (band_last == last) return;
        std::copy_n(s.filled.data() + static_cast<size_t>(rows - 1) * s.byte_stride, width, s.filled.data());
        g0 = band_last;
        have = 1;
    }
}

void RenderSizedFrame(const FrameShape& shape, uint32_t t, FrameScratch* scratch, uint32_t* pixels) {
    RenderFrameRows(BestRenderPath(), shape, t, scratch, pixels, 0, shape.height);
}
