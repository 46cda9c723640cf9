// Command line of the noise-frame tool and the output path patterns it
// writes to. Everything here is pure (no I/O, no exit), so the parser can be
// unit-tested and fuzzed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cli/arg_text.h"
#include "loop/frame_loop.h"
#include "render/frame_shape.h"

enum class FrameFormat { kRaw, kPpm, kPng };

// An output path with at most one printf-style %d conversion, which stands
// for the frame index (0, 1, 2, ...). "%%" stands for one '%'. The
// conversion may carry the flags '-', '0', '+', ' ', a width and a
// precision (each at most kMaxPathFieldWidth); nothing else is accepted, so
// the path never reaches printf.
struct PathPattern {
    std::string prefix;       // text before the conversion, "%%" already undone
    std::string suffix;       // text after it; the whole path when has_number is false
    bool has_number = false;  // a %d conversion is present
    bool left_align = false;  // '-' flag: pad with spaces on the right
    bool zero_pad = false;    // '0' flag: pad with zeros after the sign
    bool plus_sign = false;   // '+' flag: write '+' before the index
    bool space_sign = false;  // ' ' flag: write ' ' before the index (unless '+')
    int width = 0;            // minimum field width, 0 = none
    int precision = -1;       // minimum digit count, -1 = none
};

constexpr int kMaxPathFieldWidth = 32;
constexpr uint32_t kMaxJobs = 256;

struct FrameArgs {
    bool help = false;     // --help: print usage, render nothing
    bool version = false;  // --version: print the version, render nothing
    uint32_t seed = 0;     // two's-complement bits for InitNoise; 0 = from the clock
    uint32_t frames = 1;   // at least 1
    // --time T or --ms M (time M div 3, start_ms M; start_ms 3T for --time),
    // --step D, --fps N/D (fps_num 0: not given).
    FrameSchedule schedule;
    FrameShape shape = BaseFrameShape();  // --size WxH, 320x200 by default
    uint32_t jobs = 0;      // worker threads; 0 = one per CPU this process may use
    bool quiet = false;     // no progress display
    FrameFormat format = FrameFormat::kRaw;
    bool to_stdout = true;  // no -o, or -o -
    PathPattern output;     // the -o path when !to_stdout
};

// Parses the arguments after the program name (argv[0 .. argc-1]). On
// success fills *args and returns true. On failure returns false and sets
// *error to one line naming the problem, without the program-name prefix,
// e.g. "--time: not a number: 'abc'". Options (see FrameUsage for their
// meaning) are --name VALUE, --name=VALUE, and for those with a short form
// -x VALUE or -xVALUE; short flags may be bundled (-qj2). Each option may be
// given once. Options are read from the left: --help or --version ends the
// reading where it stands, so anything after it is ignored, while anything
// before it must be valid (--jobs 0 --help gives the --jobs error). Several
// png frames need a file path with a %d conversion; raw and ppm frames may
// also go one after another to one file or to standard output (a PPM stream).
bool ParseFrameArgs(int argc, const char* const* argv, FrameArgs* args, std::string* error);

// Parses an output path pattern (see PathPattern). On failure returns false
// with a one-line *error.
bool ParsePathPattern(std::string_view path, PathPattern* pattern, std::string* error);

// The file name for frame `index` of a pattern.
std::string ExpandPath(const PathPattern& pattern, uint32_t index);

// The usage text printed by --help (built from tools/noise-frame.usage, the
// same source as the manual page).
const char* FrameUsage();
