// noise-frame: renders frames of the animation for a given seed and time
// value and writes them as raw pixels, PPM or PNG. Usage: FrameUsage().
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "noise/noise.h"
#include "render/frame.h"
#include "render/shading.h"
#include "tools/frame_args.h"
#include "tools/frame_output.h"
#include "tools/output_file.h"

namespace {

constexpr int kExitFailure = 2;  // every error, bad argument or failed write alike
constexpr int kStdout = 1;

int Fail(const std::string& message) {
    std::fprintf(stderr, "noise-frame: %s\n", message.c_str());
    return kExitFailure;
}

// Renders and writes every frame; the buffers and tables are ready.
int WriteFrames(const FrameArgs& args) {
    std::string error;
    // Without a %d the whole output is one file (or standard output).
    const bool one_file = !args.to_stdout && !args.output.has_number;
    OutputFile single;
    if (one_file && !single.Open(ExpandPath(args.output, 0), &error)) return Fail(error);

    std::vector<uint8_t> bytes;
    uint32_t t = args.time;
    for (uint32_t k = 0; k < args.frames; ++k, t += args.step) {  // t wraps as unsigned 32-bit
        RenderFrameAt(t);
        bytes.clear();
        if (!EncodeFrame(args.format, PixelBuffer, &bytes)) return Fail("out of memory encoding a frame");
        if (args.to_stdout) {
            if (!WriteAllToFd(kStdout, bytes.data(), bytes.size())) {
                return Fail(std::string("cannot write to standard output: ") + std::strerror(errno));
            }
        } else if (one_file) {
            if (!single.Write(bytes.data(), bytes.size(), &error)) return Fail(error);
        } else {
            OutputFile file;
            if (!file.Open(ExpandPath(args.output, k), &error) ||
                !file.Write(bytes.data(), bytes.size(), &error) || !file.Commit(&error)) {
                return Fail(error);
            }
        }
    }
    if (one_file && !single.Commit(&error)) return Fail(error);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    PrepareOutputSignals();
    FrameArgs args;
    std::string error;
    if (!ParseFrameArgs(argc - 1, argv + 1, &args, &error)) return Fail(error);
    if (args.help) {
        std::fputs(FrameUsage(), stdout);
        return std::fflush(stdout) == 0 ? 0 : kExitFailure;
    }

    InitNoise(static_cast<int32_t>(args.seed));  // the seed's bits; 0 seeds from the clock
    BuildPalette();
    BuildSineTable();
    if (!AllocateFrameBuffers()) return Fail("out of memory for the frame buffers");
    const int status = WriteFrames(args);
    FreeFrameBuffers();
    return status;
}
