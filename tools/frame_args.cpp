// Parsing of the noise-frame command line and of output path patterns.
#include "tools/frame_args.h"

#include <cstddef>

namespace {

constexpr size_t kMaxQuotedBytes = 64;
constexpr uint64_t kMaxUnsigned32 = 0xFFFFFFFFull;
constexpr uint64_t kMaxNegative32 = 0x80000000ull;  // magnitude of -2147483648

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Digits of `text` in `base` into *value, saturating just above 2^32 so the
// caller can tell "too large" from a valid value. False on a non-digit or no
// digits at all.
bool ParseDigits(std::string_view text, int base, uint64_t* value) {
    if (text.empty()) return false;
    uint64_t v = 0;
    for (const char c : text) {
        const int d = base == 16 ? HexDigit(c) : (IsDigit(c) ? c - '0' : -1);
        if (d < 0) return false;
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (v > kMaxUnsigned32 + 1) v = kMaxUnsigned32 + 1;  // keeps v * 16 far from overflow
    }
    *value = v;
    return true;
}

// Magnitude and base of a number without sign: 0x-hex or decimal.
bool ParseMagnitude(std::string_view text, uint64_t* value) {
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return ParseDigits(text.substr(2), 16, value);
    }
    return ParseDigits(text, 10, value);
}

// A parser of one option value, the number parsers above wrapped so that
// every option reports its problems the same way.
using ValueParser = bool (*)(std::string_view, uint32_t*, std::string*);

struct OptionSeen {
    bool seed = false, time = false, ms = false, frames = false, step = false, format = false, output = false;
};

bool SetError(std::string* error, std::string text) {
    *error = std::move(text);
    return false;
}

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
    if (text.size() < tail.size()) return false;
    const std::string_view end = text.substr(text.size() - tail.size());
    for (size_t k = 0; k < tail.size(); ++k) {
        char c = end[k];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != tail[k]) return false;
    }
    return true;
}

const char* FormatName(FrameFormat format) {
    switch (format) {
        case FrameFormat::kRaw:
            return "raw";
        case FrameFormat::kPpm:
            return "ppm";
        case FrameFormat::kPng:
            return "png";
    }
    return "raw";
}

}  // namespace

std::string QuoteForError(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "'";
    const size_t shown = text.size() > kMaxQuotedBytes ? kMaxQuotedBytes : text.size();
    for (size_t k = 0; k < shown; ++k) {
        const auto c = static_cast<unsigned char>(text[k]);
        if (c < 0x20 || c == 0x7F || c == '\'' || c == '\\') {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    if (shown < text.size()) out += "...";
    out += "'";
    return out;
}

bool ParseUnsigned32(std::string_view text, uint32_t* value, std::string* problem) {
    uint64_t v = 0;
    if (!ParseMagnitude(text, &v)) return SetError(problem, "not a number");
    if (v > kMaxUnsigned32) return SetError(problem, "out of range");
    *value = static_cast<uint32_t>(v);
    return true;
}

bool ParseSignedOrUnsigned32(std::string_view text, uint32_t* value, std::string* problem) {
    if (text.empty() || text[0] != '-') return ParseUnsigned32(text, value, problem);
    uint64_t v = 0;
    if (!ParseDigits(text.substr(1), 10, &v)) return SetError(problem, "not a number");
    if (v > kMaxNegative32) return SetError(problem, "out of range");
    *value = static_cast<uint32_t>(0u - static_cast<uint32_t>(v));  // two's complement of the magnitude
    return true;
}

bool ParsePathPattern(std::string_view path, PathPattern* pattern, std::string* error) {
    PathPattern p;
    std::string* text = &p.suffix;  // text before a conversion goes to prefix, moved below
    size_t k = 0;
    while (k < path.size()) {
        const char c = path[k++];
        if (c != '%') {
            *text += c;
            continue;
        }
        if (k < path.size() && path[k] == '%') {
            *text += '%';
            ++k;
            continue;
        }
        const size_t start = k - 1;
        // Flags, width, precision, then the conversion character.
        PathPattern conv;
        for (; k < path.size(); ++k) {
            const char f = path[k];
            if (f == '-') {
                conv.left_align = true;
            } else if (f == '0') {
                conv.zero_pad = true;
            } else if (f == '+') {
                conv.plus_sign = true;
            } else if (f == ' ') {
                conv.space_sign = true;
            } else {
                break;
            }
        }
        auto read_number = [&](int* out) {
            int v = 0;
            while (k < path.size() && IsDigit(path[k])) {
                if (v <= kMaxPathFieldWidth) v = v * 10 + (path[k] - '0');
                ++k;
            }
            *out = v;
        };
        read_number(&conv.width);
        if (k < path.size() && path[k] == '.') {
            ++k;
            read_number(&conv.precision);
        }
        const std::string_view conversionText =
            path.substr(start, k < path.size() ? k + 1 - start : k - start);
        if (k >= path.size() || path[k] != 'd') {
            return SetError(error,
                            "-o: only %d (with flags and width) or %% may follow '%' in the path, not " +
                                QuoteForError(conversionText));
        }
        ++k;
        if (p.has_number) {
            return SetError(error, "-o: more than one %d in the path " + QuoteForError(path));
        }
        if (conv.width > kMaxPathFieldWidth || conv.precision > kMaxPathFieldWidth) {
            return SetError(error, "-o: field width above " + std::to_string(kMaxPathFieldWidth) + " in " +
                                       QuoteForError(conversionText));
        }
        conv.has_number = true;
        conv.prefix = std::move(p.suffix);
        p = std::move(conv);
        text = &p.suffix;
    }
    *pattern = std::move(p);
    return true;
}

std::string ExpandPath(const PathPattern& pattern, uint32_t index) {
    if (!pattern.has_number) return pattern.suffix;
    std::string digits = std::to_string(index);
    if (pattern.precision >= 0) {
        // As in printf, precision 0 writes nothing for the value 0.
        if (pattern.precision == 0 && index == 0) digits.clear();
        if (digits.size() < static_cast<size_t>(pattern.precision)) {
            digits.insert(0, static_cast<size_t>(pattern.precision) - digits.size(), '0');
        }
    }
    const std::string sign = pattern.plus_sign ? "+" : (pattern.space_sign ? " " : "");
    std::string field;
    const size_t used = sign.size() + digits.size();
    const size_t width = static_cast<size_t>(pattern.width);
    if (used >= width) {
        field = sign + digits;
    } else if (pattern.left_align) {
        field = sign + digits + std::string(width - used, ' ');
    } else if (pattern.zero_pad && pattern.precision < 0) {
        field = sign + std::string(width - used, '0') + digits;
    } else {
        field = std::string(width - used, ' ') + sign + digits;
    }
    return pattern.prefix + field + pattern.suffix;
}

bool ParseFrameArgs(int argc, const char* const* argv, FrameArgs* args, std::string* error) {
    FrameArgs a;
    OptionSeen seen;
    bool format_given = false;
    uint32_t ms = 0;
    std::string_view output_path;

    for (int k = 0; k < argc && argv[k] != nullptr; ++k) {
        const std::string_view arg = argv[k];
        if (arg == "--help" || arg == "-h") {
            a.help = true;
            *args = std::move(a);
            return true;
        }
        std::string_view name = arg;
        std::string_view value;
        bool has_value = false;
        if (arg.size() > 2 && arg.substr(0, 2) == "--") {
            const size_t eq = arg.find('=');
            if (eq != std::string_view::npos) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
                has_value = true;
            }
        }

        bool* seen_flag = nullptr;
        uint32_t* target = nullptr;   // where a numeric option's value goes
        ValueParser parse = nullptr;  // null for --format and -o
        auto number_option = [&](bool* flag, uint32_t* field, ValueParser parser) {
            seen_flag = flag;
            target = field;
            parse = parser;
        };
        if (name == "--seed") {
            number_option(&seen.seed, &a.seed, ParseSignedOrUnsigned32);
        } else if (name == "--time") {
            number_option(&seen.time, &a.time, ParseUnsigned32);
        } else if (name == "--ms") {
            number_option(&seen.ms, &ms, ParseUnsigned32);
        } else if (name == "--frames") {
            number_option(&seen.frames, &a.frames, ParseSignedOrUnsigned32);  // signed, to name "-3" clearly
        } else if (name == "--step") {
            number_option(&seen.step, &a.step, ParseSignedOrUnsigned32);
        } else if (name == "--format") {
            seen_flag = &seen.format;
        } else if (name == "-o" || name == "--output") {
            seen_flag = &seen.output;
            name = "-o";
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            return SetError(error, "unknown option " + QuoteForError(arg));
        } else {
            return SetError(error, "unexpected argument " + QuoteForError(arg));
        }

        const std::string option(name);
        if (*seen_flag) return SetError(error, option + ": given more than once");
        *seen_flag = true;
        if (!has_value) {
            if (k + 1 >= argc || argv[k + 1] == nullptr) return SetError(error, option + ": missing value");
            value = argv[++k];
        }

        if (parse != nullptr) {
            std::string problem;
            if (!parse(value, target, &problem)) {
                return SetError(error, option + ": " + problem + ": " + QuoteForError(value));
            }
            if (target == &a.frames && (a.frames == 0 || value[0] == '-')) {
                return SetError(error, option + ": must be at least 1: " + QuoteForError(value));
            }
        } else if (option == "--format") {
            if (value == "raw") {
                a.format = FrameFormat::kRaw;
            } else if (value == "ppm") {
                a.format = FrameFormat::kPpm;
            } else if (value == "png") {
                a.format = FrameFormat::kPng;
            } else {
                return SetError(error, "--format: not raw, ppm or png: " + QuoteForError(value));
            }
            format_given = true;
        } else {
            if (value.empty()) return SetError(error, "-o: empty path");
            if (value.size() > 1 && value[0] == '-') {
                return SetError(error,
                                "-o: path starts with '-' (put ./ before it): " + QuoteForError(value));
            }
            output_path = value;
        }
    }

    if (!seen.seed) return SetError(error, "--seed is required (0 seeds from the clock)");
    if (seen.time && seen.ms) return SetError(error, "--time and --ms exclude each other: give one");
    if (!seen.time && !seen.ms) return SetError(error, "--time or --ms is required");
    if (seen.ms) a.time = ms / 3u;

    a.to_stdout = output_path.empty() || output_path == "-";
    if (!a.to_stdout) {
        if (!ParsePathPattern(output_path, &a.output, error)) return false;
        if (!format_given) {
            if (EndsWithNoCase(output_path, ".png")) {
                a.format = FrameFormat::kPng;
            } else if (EndsWithNoCase(output_path, ".ppm")) {
                a.format = FrameFormat::kPpm;
            }
        }
    }
    if (a.format != FrameFormat::kRaw && a.frames > 1) {
        const std::string what = std::to_string(a.frames) + " " + FormatName(a.format) + " frames";
        if (a.to_stdout) {
            return SetError(
                error, "-o: " + what + " need a file path with %d, e.g. frame-%04d." + FormatName(a.format));
        }
        if (!a.output.has_number) {
            return SetError(error, "-o: " + what + " need %d in the path, e.g. frame-%04d." +
                                       FormatName(a.format) + ": " + QuoteForError(output_path));
        }
    }
    *args = std::move(a);
    return true;
}

const char* FrameUsage() {
    return "usage: noise-frame --seed S (--time T | --ms M) [--frames N] [--step D]\n"
           "                   [--format raw|ppm|png] [-o PATH]\n"
           "Renders frames of the noise animation with the tables built from seed S.\n"
           "\n"
           "  --seed S      table seed, -2147483648..4294967295 or 0x-hex; 0 seeds from\n"
           "                the clock (UTC time of day), as the program does\n"
           "  --time T      time value of the first frame, 0..4294967295 or 0x-hex\n"
           "  --ms M        instead of --time: milliseconds since start, T = M div 3\n"
           "  --frames N    number of frames, default 1; frame k is drawn at T + k*D\n"
           "  --step D      time between frames, default 1; may be negative (wraps)\n"
           "  --format F    raw: 320x200 little-endian 0x00RRGGBB pixels, row 0 first,\n"
           "                frames one after another; ppm, png: the picture as shown\n"
           "                (row 0 at the bottom). Default: from the -o extension\n"
           "                (.png, .ppm), otherwise raw\n"
           "  -o PATH       output file; '-' or none: standard output. A %d in PATH\n"
           "                (flags and width allowed, e.g. frame-%04d.png; %% for '%')\n"
           "                is the frame index from 0 and gives one file per frame;\n"
           "                several ppm or png frames need it\n"
           "  -h, --help    this text\n"
           "\n"
           "A file takes the frames only once complete and keeps its permissions,\n"
           "owner and links; FIFOs and devices are written to, links followed.\n"
           "Exit status: 0 on success, 2 on any error (one line on stderr).\n";
}
