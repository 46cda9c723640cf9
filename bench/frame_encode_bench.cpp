// The frame tool's encoders on rendered frames, one core: raw, PPM, and PNG
// through libdeflate beside PNG through stb_image_write (the encoder the
// tool used before), with the bytes per frame as a counter.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "render/frame.h"
#include "render/render_path.h"
#include "render/tables.h"
#include "tools/frame_output.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace {

constexpr int32_t kSeed = 1;
constexpr int kFrames = 64;         // distinct frames, encoded in turn
constexpr uint32_t kTimeStep = 11;  // 33 ms apart, as at 30 frames per second

const std::vector<std::vector<uint32_t>>& Frames() {
    static const auto frames = [] {
        BuildTables(kSeed);
        std::vector<uint8_t> byte_image(static_cast<size_t>(kByteRows) * kByteStride);
        std::vector<std::vector<uint32_t>> all(kFrames, std::vector<uint32_t>(kPixelCount));
        for (int k = 0; k < kFrames; ++k) RenderFrameInto(k * kTimeStep, byte_image.data(), all[k].data());
        return all;
    }();
    return frames;
}

void AppendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

const FrameShape kShape = BaseFrameShape();

bool EncodePngStb(const uint32_t* pixels, std::vector<uint8_t>* out) {
    std::vector<uint8_t> rgb(3 * static_cast<size_t>(kPixelCount));
    PictureRgb(kShape, pixels, rgb.data());
    return stbi_write_png_to_func(AppendBytes, out, W, H, 3, rgb.data(), 3 * W) != 0;
}

void BM_Encode(benchmark::State& state, bool (*encode)(const uint32_t*, std::vector<uint8_t>*)) {
    const auto& frames = Frames();
    std::vector<uint8_t> out;
    size_t bytes = 0, count = 0;
    for (auto _ : state) {
        out.clear();
        if (!encode(frames[count % kFrames].data(), &out)) std::abort();
        bytes += out.size();
        ++count;
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes_per_frame"] = static_cast<double>(bytes) / static_cast<double>(count);
}

bool Raw(const uint32_t* p, std::vector<uint8_t>* out) { return EncodeRaw(kShape, p, out), true; }
bool Ppm(const uint32_t* p, std::vector<uint8_t>* out) {
    out->resize(PpmFrameBytes(kShape));
    return EncodePpmInto(kShape, p, out->data()), true;
}
bool Png(const uint32_t* p, std::vector<uint8_t>* out) {
    static PngEncoder encoder(kShape);
    return encoder.Encode(p, out);
}

BENCHMARK_CAPTURE(BM_Encode, raw, Raw)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Encode, ppm, Ppm)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Encode, png_libdeflate, Png)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Encode, png_stb, EncodePngStb)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
