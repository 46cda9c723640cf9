// The screen saver's frame size rule and its held moment.
#include "screensaver/saver_frame.h"

namespace {

// The whole factor each render path draws at, at most: AVX2 renders a
// pixel in about a tenth of the plain path's time and SSE2 in about a
// quarter (docs/performance.md), so a quarter and a half of each side
// cost about what a full-size AVX2 frame costs.
int PathScale(RenderPath path) {
    switch (path) {
        case RenderPath::kPlain:
            return 4;
        case RenderPath::kSse2:
            return 2;
        case RenderPath::kAvx2:
        case RenderPath::kAvx512:
        case RenderPath::kSimd128:
            return 1;
    }
    return 1;
}

int CeilDiv(int n, int d) { return static_cast<int>((int64_t{n} + d - 1) / d); }

// The frame at least covers the base frame's width or height.
bool CoversBase(int width, int height, int scale) {
    return CeilDiv(width, scale) >= kBaseWidth || CeilDiv(height, scale) >= kBaseHeight;
}

// Reads a decimal number of at most 32 bits from p up to stop; the end of
// the number in *end.
bool ParseDecimal(const char* p, char stop, uint32_t* value, const char** end) {
    if (*p < '0' || *p > '9') return false;
    uint64_t n = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        n = n * 10 + static_cast<uint64_t>(*p - '0');
        if (n > UINT32_MAX) return false;
    }
    if (*p != stop) return false;
    *value = static_cast<uint32_t>(n);
    *end = p;
    return true;
}

}  // namespace

SaverFrame ChooseSaverFrame(RenderPath path, int width, int height) {
    SaverFrame frame;
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    int scale = PathScale(path);
    while (scale > 1 && !CoversBase(width, height, scale)) --scale;
    while (!MakeFrameShape(CeilDiv(width, scale), CeilDiv(height, scale), &frame.shape)) ++scale;
    frame.scale = scale;
    return frame;
}

bool ParseSaverMoment(const char* text, uint32_t* seed, uint32_t* time) {
    if (text == nullptr) return false;
    uint32_t s = 0, t = 0;
    const char* p = text;
    if (!ParseDecimal(p, ':', &s, &p) || !ParseDecimal(p + 1, '\0', &t, &p)) return false;
    *seed = s;
    *time = t;
    return true;
}
