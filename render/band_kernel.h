// What the band renderer (render/frame_rows.cpp) hands its samplers, fills
// and palette passes, one set per render path: the per-shape tables and the
// reused working space as plain data behind raw pointers, and the stage
// functions. No inline functions and no standard containers here: the
// per-instruction-set renderers include it, and an inline function they
// instantiated could be merged by the linker into code that runs on every CPU.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/frame.h"

// Column tables are padded by this many entries past a whole number of the
// widest vectors, so that vector reads and writes that start inside a row
// never leave it.
constexpr int kVectorPad = 16;
// The x blends of one octave: P and Q of each (y edge, z layer), see below.
constexpr int kBlendPlanes = 8;
// Grid rows one sampler call takes at most.
constexpr int kMaxSampleRows = 25;

// The grid of one frame shape, and the working space of one thread.
//
// A vector sampler splits each x blend of an octave, the blend along x of
// the two corners on the edge (y corner Y, z layer Z), as
//   E = P(x) + ry * Q(x),   the x blend = E >> 20,
// where ry is the row's offset from the lower y corner (0..1023): P and Q
// depend only on the column, the y cell and the time, so they are made once
// per y cell (pq) and reused for every row of it. Each vector sampler lays
// out pq as it likes within kBlendPlanes * padded_cols entries per octave.
struct BandTables {
    int grid_cols = 0, grid_rows = 0;
    int padded_cols = 0;                        // grid_cols rounded up to kVectorPad, plus kVectorPad
    const int32_t* column_x = nullptr;          // noise x of grid column i (grid_cols)
    const int32_t* column_stripe = nullptr;     // (floor(4 i q / p) - 80) mod 1024 (padded_cols)
    const int32_t* row_y = nullptr;             // noise y of grid row j (grid_rows)
    const int32_t* row_stripe = nullptr;        // floor(7 j q / p) (grid_rows)
    const int32_t* column_offset[kOctaves] = {};  // (x << k) & 1023 (padded_cols)
    const int32_t* column_fade[kOctaves] = {};    // FadeOffset of that (padded_cols)
    // Runs of columns in one x cell at octave k: run n starts at column
    // cell_start[k][n] (cell_start[k][cell_count[k]] = grid_cols) and lies in
    // lattice cell cell_index[k][n].
    const int32_t* cell_start[kOctaves] = {};
    const int32_t* cell_index[kOctaves] = {};
    int cell_count[kOctaves] = {};
    int32_t* pq[kOctaves] = {};  // kBlendPlanes * padded_cols each
    // |SineTable[k]| == |SineTable[SineFold(k)]| for every k (see render/shading.h),
    // checked when the scratch is made: stripes may be looked up in 256 entries.
    bool sine_folds = false;
    // |SineTable[k]| == StripeSizeByPolynomial(k) for every k (render/shading.h),
    // checked when the scratch is made: the stripes' sizes may be computed.
    bool sine_polynomial = false;
    // Palette[i] >> 8 == i * 0x101 for every i (grey, red = green = i, with
    // its own blue), checked when the scratch is made: only blue is looked up.
    bool palette_grey = false;
    // Palette[i] & 0xFF == PaletteBlueByRoot(i) for every i (render/shading.h),
    // checked when the scratch is made: blue may be computed by a square root.
    bool palette_root = false;
    // The frame is larger than the cache: its pixels are written by
    // streaming (non-temporal) stores where the path has them.
    bool stream_pixels = false;
    // What pq[k] holds: y cell pq_cell[k] at time value pq_time[k], once pq_ready[k].
    int32_t pq_cell[kOctaves] = {};
    uint32_t pq_time[kOctaves] = {};
    bool pq_ready[kOctaves] = {};
};

// The stages of a band, one set per render path (render/frame_rows.cpp has
// the plain one, the definition; render/path_entries.h names the others).
struct BandKernel {
    // Shades of grid rows j0 .. j0 + rows - 1 (rows <= kMaxSampleRows) into
    // shades, stride bytes a row; bytes past grid_cols up to the next
    // multiple of 64 may be written.
    void (*sample_rows)(BandTables* tables, uint32_t t, int j0, int rows, uint8_t* shades, int stride);
    // Each grid row of shades filled to width bytes: samples on even
    // columns, the truncating average of their neighbours on odd ones.
    // Rows of filled may be written up to 128 bytes past width.
    void (*fill_rows)(const uint8_t* shades, int shade_stride, int rows, int width, uint8_t* filled, int byte_stride);
    // Output rows r0 .. r0 + count - 1, counted from the filled row 0 (row r
    // is filled row r / 2, or the truncating average of filled rows r / 2
    // and r / 2 + 1 when r is odd), through the palette into out: width
    // pixels a row, out[0] being row r0's first and out_stride pixels from
    // one row's first to the next's (negative where the rows go downwards
    // in memory). Only those width pixels of each row are written. odd_row
    // is byte_stride bytes of scratch.
    void (*output_rows)(const BandTables* tables, const uint8_t* filled, int byte_stride, uint8_t* odd_row, int r0,
                        int count, int width, uint32_t* out, ptrdiff_t out_stride);
};

// The plain stages, the definition (render/frame_rows.cpp).
extern const BandKernel kBandKernelPlain;
