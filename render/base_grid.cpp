// The base frame's grid tables, made on the first whole-frame render (so
// that they take no room in a program's file).
#include "render/base_grid.h"

#include "noise/noise.h"

namespace {

template <int N>
void MakeAxisTable(int place_shift, AxisTable<N>& a) {
    for (int k = 0; k < kOctaves; ++k) {
        for (int n = 0; n < N; ++n) {
            const int32_t v = (n * kGridStep) << k;  // below 2^16: no wrap
            const int32_t r0 = v & (kFixedOne - 1);
            a.cell[k][n] = (v >> 10) & (TableSize - 1);
            a.lower[k][n] = (static_cast<uint32_t>(r0) & 0xFFFFu) << place_shift;
            a.upper[k][n] = (static_cast<uint32_t>(r0 - kFixedOne) & 0xFFFFu) << place_shift;
            a.fade[k][n] = static_cast<uint32_t>(FadeOffset(r0));
        }
    }
}

void MakeStripeBases(StripeBases& s) {
    for (int i = 0; i < kGridColsPadded; ++i) s.column[i] = static_cast<uint32_t>(4 * i - 80);
    for (int j = 0; j < kGridRowsPadded; ++j) s.row[j] = static_cast<uint32_t>(7 * j - 120);
}

}  // namespace

AxisTable<kGridColsPadded> kColumnAxis;
AxisTable<kGridRowsPadded> kRowAxis;
StripeBases kStripes;

void BuildBaseGrid() {
    MakeAxisTable(0, kColumnAxis);
    MakeAxisTable(16, kRowAxis);
    MakeStripeBases(kStripes);
}
