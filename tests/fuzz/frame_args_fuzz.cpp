// libFuzzer target over the noise-frame argument parser. The input is split
// at NUL bytes into arguments, as a shell would hand them over; every
// argument is also parsed on its own as an output path pattern.
//
// Built with FRAME_ARGS_CONTRACT it also checks what the tool promises:
// a rejected command always has a non-empty, single-line, plain-ASCII error
// of bounded length; an accepted one is consistent (at least one frame,
// several PNG frames only into numbered files, --fps and --step not both, a
// first frame at the given time value) and parses the same way twice; an
// accepted path pattern expands exactly as printf expands the same
// conversion.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/frame_args.h"

namespace {

#ifdef FRAME_ARGS_CONTRACT
constexpr size_t kMaxErrorBytes = 512;

void Check(bool ok, const char* what, const std::string& detail) {
    if (ok) return;
    std::fprintf(stderr, "contract broken: %s: [%s]\n", what, detail.c_str());
    std::abort();
}

bool SameArgs(const FrameArgs& a, const FrameArgs& b) {
    return a.help == b.help && a.version == b.version && a.seed == b.seed && a.schedule.time == b.schedule.time &&
           a.frames == b.frames && a.schedule.step == b.schedule.step &&
           a.schedule.fps_num == b.schedule.fps_num && a.schedule.fps_den == b.schedule.fps_den &&
           a.schedule.start_ms == b.schedule.start_ms && a.shape.width == b.shape.width &&
           a.shape.height == b.shape.height && a.jobs == b.jobs && a.quiet == b.quiet && a.format == b.format &&
           a.to_stdout == b.to_stdout && a.output.prefix == b.output.prefix &&
           a.output.suffix == b.output.suffix && a.output.has_number == b.output.has_number;
}

std::string EscapePercent(const std::string& text) {
    std::string out;
    for (const char c : text) {
        out += c;
        if (c == '%') out += '%';
    }
    return out;
}

// The pattern written back as a printf format on a long long argument.
std::string PrintfFormat(const PathPattern& p) {
    std::string conv = "%";
    if (p.left_align) conv += '-';
    if (p.zero_pad) conv += '0';
    if (p.plus_sign) conv += '+';
    if (p.space_sign) conv += ' ';
    if (p.width > 0) conv += std::to_string(p.width);
    if (p.precision >= 0) conv += "." + std::to_string(p.precision);
    return EscapePercent(p.prefix) + conv + "lld" + EscapePercent(p.suffix);
}

void CheckPattern(const std::string& word) {
    PathPattern pattern;
    std::string error;
    if (!ParsePathPattern(word, &pattern, &error)) {
        Check(!error.empty() && error.find('\n') == std::string::npos, "pattern error line", error);
        return;
    }
    if (!pattern.has_number || word.find('\0') != std::string::npos) return;
    const std::string format = PrintfFormat(pattern);
    for (const uint32_t index : {0u, 9u, 4294967295u}) {
        const std::string mine = ExpandPath(pattern, index);
        std::vector<char> expected(mine.size() + 64);
        std::snprintf(expected.data(), expected.size(), format.c_str(), static_cast<long long>(index));
        Check(mine == expected.data(), "path expansion differs from printf", word);
    }
}

void CheckContract(const std::vector<const char*>& argv, bool ok, const FrameArgs& args,
                   const std::string& error) {
    if (!ok) {
        Check(!error.empty(), "empty error", error);
        Check(error.size() <= kMaxErrorBytes, "error too long", error);
        for (const char c : error) {
            const auto u = static_cast<unsigned char>(c);
            Check(u >= 0x20 && u < 0x7F, "control character or non-ASCII byte in error", error);
        }
        return;
    }
    FrameArgs again;
    std::string error2;
    Check(
        ParseFrameArgs(static_cast<int>(argv.size()), argv.data(), &again, &error2) && SameArgs(args, again),
        "second parse differs", error2);
    if (args.help || args.version) return;
    Check(args.frames >= 1, "no frames", "");
    Check(args.jobs <= kMaxJobs, "too many jobs", "");
    Check(args.shape.width >= 1 && args.shape.height >= 1 && args.shape.width <= kMaxFrameSide &&
              args.shape.height <= kMaxFrameSide &&
              int64_t{args.shape.width} * args.shape.height <= kMaxFramePixels,
          "frame size out of range", "");
    if (args.format == FrameFormat::kPng && args.frames > 1) {
        Check(!args.to_stdout && args.output.has_number, "several png images into one file", "");
    }
    Check(args.schedule.fps_num == 0 || args.schedule.step == 1, "--fps with --step", "");
    Check(ScheduledFrameTime(args.schedule, 0) == args.schedule.time, "first frame not at the time value", "");
    (void)ScheduledFrameTime(args.schedule, args.frames - 1);
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> words;
    std::string word;
    for (size_t k = 0; k < size; ++k) {
        if (data[k] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[k]);
        }
    }
    if (size > 0) words.push_back(word);
    std::vector<const char*> argv;
    for (const auto& w : words) argv.push_back(w.c_str());

    FrameArgs args;
    std::string error;
    const bool ok = ParseFrameArgs(static_cast<int>(argv.size()), argv.data(), &args, &error);
#ifdef FRAME_ARGS_CONTRACT
    CheckContract(argv, ok, args, error);
    for (const auto& w : words) CheckPattern(w);
#else
    if (ok) (void)ScheduledFrameTime(args.schedule, args.frames - 1);
    for (const auto& w : words) {
        PathPattern pattern;
        if (ParsePathPattern(w, &pattern, &error)) (void)ExpandPath(pattern, 4294967295u);
    }
#endif
    return 0;
}
