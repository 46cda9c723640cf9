// Command line of the noise-frame tool and the output path patterns it
// writes to. Everything here is pure (no I/O, no exit), so the parser can be
// unit-tested and fuzzed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

struct FrameArgs {
    bool help = false;    // --help: print usage, render nothing
    uint32_t seed = 0;    // two's-complement bits for InitNoise; 0 = from the clock
    uint32_t time = 0;    // time value of the first frame
    uint32_t frames = 1;  // at least 1
    uint32_t step = 1;    // time between frames, wrapping as unsigned 32-bit
    FrameFormat format = FrameFormat::kRaw;
    bool to_stdout = true;  // no -o, or -o -
    PathPattern output;     // the -o path when !to_stdout
};

// Parses the arguments after the program name (argv[0 .. argc-1]). On
// success fills *args and returns true. On failure returns false and sets
// *error to one line naming the problem, without the program-name prefix,
// e.g. "--time: not a number: 'abc'". Rules:
//   --seed S     required; -2147483648..4294967295 in decimal or 0x-hex; 0 = clock
//   --time T     0..4294967295 (decimal or 0x-hex), or instead
//   --ms M       0..4294967295, meaning T = M div 3; exactly one of the two
//   --frames N   1..4294967295, default 1
//   --step D     -2147483648..4294967295, default 1 (negative steps run backwards)
//   --format F   raw, ppm or png; default from the -o extension (.ppm, .png), else raw
//   -o PATH      "-" or absent: standard output; --output is the same option
//   --help, -h   usage
// Options take their value as the next argument or after '=' (--seed=5).
// Each option may be given once. Several ppm or png frames need a file path
// with a %d conversion; raw frames go to one file one after another, or to
// one file each when the path has a %d.
bool ParseFrameArgs(int argc, const char* const* argv, FrameArgs* args, std::string* error);

// Parses an output path pattern (see PathPattern). On failure returns false
// with a one-line *error.
bool ParsePathPattern(std::string_view path, PathPattern* pattern, std::string* error);

// The file name for frame `index` of a pattern.
std::string ExpandPath(const PathPattern& pattern, uint32_t index);

// Parses an unsigned 32-bit value: decimal digits, or 0x / 0X and hex digits.
// No sign, spaces or other characters.
bool ParseUnsigned32(std::string_view text, uint32_t* value, std::string* problem);

// As ParseUnsigned32, but also accepts a '-' before decimal digits down to
// -2147483648; the result is the value's two's-complement bit pattern.
bool ParseSignedOrUnsigned32(std::string_view text, uint32_t* value, std::string* problem);

// The text quoted for an error line: in single quotes, control characters
// and quotes escaped as \xNN, cut after 64 bytes with "...".
std::string QuoteForError(std::string_view text);

// The usage text printed by --help.
const char* FrameUsage();
