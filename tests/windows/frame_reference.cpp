// Writes one frame, rendered through the plain reference path, as raw
// 0x00RRGGBB pixels (little-endian, row 0 at the bottom and first) to a
// file: the picture the screen saver held at that moment must show.
//   frame_reference SEED TIME WIDTH HEIGHT OUT   (decimal numbers)
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "render/frame_rows.h"
#include "render/tables.h"

int main(int argc, char** argv) {
    FrameShape shape;
    if (argc != 6 || !MakeFrameShape(std::atoi(argv[3]), std::atoi(argv[4]), &shape)) {
        std::fprintf(stderr, "usage: frame_reference SEED TIME WIDTH HEIGHT OUT\n");
        return 2;
    }
    const auto time = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));
    BuildTables(static_cast<int32_t>(std::strtoul(argv[1], nullptr, 10)));  // the seed's bits
    std::vector<uint32_t> pixels(static_cast<size_t>(shape.width) * shape.height);
    FrameScratch scratch;
    RenderFrameRows(RenderPath::kPlain, shape, time, &scratch, pixels.data(), 0, shape.height);
    std::FILE* out = std::fopen(argv[5], "wb");
    if (out == nullptr || std::fwrite(pixels.data(), 4, pixels.size(), out) != pixels.size() ||
        std::fclose(out) != 0) {
        std::fprintf(stderr, "frame_reference: cannot write %s\n", argv[5]);
        return 1;
    }
    return 0;
}
