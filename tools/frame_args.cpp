// Parsing of the noise-frame command line and of output path patterns.
#include "tools/frame_args.h"

#include "cli/options.h"

#include <cstddef>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
    if (text.size() < tail.size()) return false;
    const std::string_view end = text.substr(text.size() - tail.size());
    for (size_t k = 0; k < tail.size(); ++k) {
        if (Lower(end[k]) != tail[k]) return false;
    }
    return true;
}

bool EqualNoCase(std::string_view text, std::string_view lower) {
    return text.size() == lower.size() && EndsWithNoCase(text, lower);
}

// Extensions of image formats the tool does not write: naming an output so
// is a mistake that would otherwise give raw bytes under an image's name.
constexpr std::string_view kForeignImageExtensions[] = {
    ".jpg",  ".jpeg", ".jpe",  ".jfif", ".gif", ".bmp", ".dib", ".webp", ".tif", ".tiff", ".tga",
    ".avif", ".heic", ".heif", ".jxl",  ".ico", ".exr", ".qoi", ".pgm",  ".pbm", ".pam",  ".svg"};

enum class Option {
    kSeed,
    kTime,
    kMs,
    kFrames,
    kStep,
    kFps,
    kSize,
    kFormat,
    kOutput,
    kJobs,
    kQuiet,
    kHelp,
    kVersion
};
constexpr int kOptionCount = static_cast<int>(Option::kVersion) + 1;

constexpr OptionEntry Entry(Option id, std::string_view long_name, char short_name, bool takes_value,
                           std::string_view shown) {
    return {static_cast<int>(id), long_name, short_name, takes_value, shown,
            id == Option::kHelp || id == Option::kVersion};
}

constexpr OptionEntry kOptions[] = {
    Entry(Option::kSeed, "--seed", 's', true, "--seed"),
    Entry(Option::kTime, "--time", 't', true, "--time"),
    Entry(Option::kMs, "--ms", 0, true, "--ms"),
    Entry(Option::kFrames, "--frames", 'n', true, "--frames"),
    Entry(Option::kStep, "--step", 0, true, "--step"),
    Entry(Option::kFps, "--fps", 0, true, "--fps"),
    Entry(Option::kSize, "--size", 0, true, "--size"),
    Entry(Option::kFormat, "--format", 'f', true, "--format"),
    Entry(Option::kOutput, "--output", 'o', true, "-o"),
    Entry(Option::kJobs, "--jobs", 'j', true, "--jobs"),
    Entry(Option::kQuiet, "--quiet", 'q', false, "--quiet"),
    Entry(Option::kHelp, "--help", 'h', false, "--help"),
    Entry(Option::kVersion, "--version", 'V', false, "--version"),
};

// The frame sizes MakeFrameShape accepts, as the --size error names them.
const std::string kSizeRange = "out of range (each side 1 to " + std::to_string(kMaxFrameSide) +
                               ", at most " + std::to_string(kMaxFramePixels) + " pixels)";

// --fps: N or N/D, whole decimal numbers 1..kMaxFpsTerm.
bool ParseFps(std::string_view text, uint32_t* num, uint32_t* den, std::string* problem) {
    const size_t slash = text.find('/');
    const std::string_view top = text.substr(0, slash);
    const std::string_view bottom = slash == std::string_view::npos ? "1" : text.substr(slash + 1);
    uint64_t n = 0, d = 0;
    if (!ParseWhole(top, 10, kMaxFpsTerm, &n, problem) || !ParseWhole(bottom, 10, kMaxFpsTerm, &d, problem)) {
        if (*problem == "not a number") *problem = "not a rate N or N/D";
        return false;
    }
    if (n == 0 || d == 0) return SetError(problem, "must be above 0");
    *num = static_cast<uint32_t>(n);
    *den = static_cast<uint32_t>(d);
    return true;
}

}  // namespace

bool ParsePathPattern(std::string_view path, PathPattern* pattern, std::string* error) {
    PathPattern p;  // text gathers in suffix; a conversion moves it to prefix
    size_t k = 0;
    while (k < path.size()) {
        const char c = path[k++];
        if (c != '%') {
            p.suffix += c;
            continue;
        }
        if (k < path.size() && path[k] == '%') {
            p.suffix += '%';
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
        const std::string_view conversionText = path.substr(start, k + 1 - start);  // to the end at most
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
    const size_t used = sign.size() + digits.size();
    const size_t width = static_cast<size_t>(pattern.width);
    const size_t pad = width > used ? width - used : 0;
    std::string field;
    if (pattern.left_align) {
        field = sign + digits + std::string(pad, ' ');
    } else if (pattern.zero_pad && pattern.precision < 0) {
        field = sign + std::string(pad, '0') + digits;
    } else {
        field = std::string(pad, ' ') + sign + digits;
    }
    return pattern.prefix + field + pattern.suffix;
}

bool ParseFrameArgs(int argc, const char* const* argv, FrameArgs* args, std::string* error) {
    FrameArgs a;
    bool seen[kOptionCount] = {};
    uint32_t ms = 0;
    std::string_view output_path;

    // Applies one option's value; false with *error set when it is bad.
    auto apply = [&](const OptionEntry& entry, std::string_view value) {
        const std::string option(entry.shown);
        const auto id = static_cast<Option>(entry.id);
        // "--jobs: must be 1 to 256: '0'": the option, the problem, the value.
        auto refuse = [&](const std::string& problem) {
            return SetError(error, option + ": " + problem + ": " + QuoteForError(value));
        };
        std::string problem;
        auto number = [&](bool ok) { return ok || refuse(problem); };
        switch (id) {
            case Option::kSeed:
                return number(ParseSignedOrUnsigned32(value, &a.seed, &problem));
            case Option::kTime:
                return number(ParseUnsigned32(value, &a.schedule.time, &problem));
            case Option::kMs:
                return number(ParseUnsigned32(value, &ms, &problem));
            case Option::kStep:
                return number(ParseSignedOrUnsigned32(value, &a.schedule.step, &problem));
            case Option::kFrames:
                // Parsed as signed so that "-3" is named as too small, not as garbage.
                if (!number(ParseSignedOrUnsigned32(value, &a.frames, &problem))) return false;
                if (a.frames == 0 || value[0] == '-') return refuse("must be at least 1");
                return true;
            case Option::kFps:
                return number(ParseFps(value, &a.schedule.fps_num, &a.schedule.fps_den, &problem));
            case Option::kSize:
                if (ParseFrameSize(value, &a.shape, &problem)) return true;
                if (problem == "out of range") problem = kSizeRange;
                return refuse(problem);
            case Option::kJobs:
                if (!number(ParseUnsigned32(value, &a.jobs, &problem))) return false;
                if (a.jobs == 0 || a.jobs > kMaxJobs) {
                    return refuse("must be 1 to " + std::to_string(kMaxJobs));
                }
                return true;
            case Option::kFormat:
                if (EqualNoCase(value, "raw")) {
                    a.format = FrameFormat::kRaw;
                } else if (EqualNoCase(value, "ppm")) {
                    a.format = FrameFormat::kPpm;
                } else if (EqualNoCase(value, "png")) {
                    a.format = FrameFormat::kPng;
                } else {
                    return refuse("not raw, ppm or png");
                }
                return true;
            case Option::kOutput:
                if (value.empty()) return SetError(error, "-o: empty path");
                if (value.size() > 1 && value[0] == '-') {
                    return refuse("path starts with '-' (put ./ before it)");
                }
                output_path = value;
                return true;
            case Option::kQuiet:
                a.quiet = true;
                return true;
            case Option::kHelp:
                a.help = true;
                return true;
            case Option::kVersion:
                a.version = true;
                return true;
        }
        return true;
    };

    if (!ParseOptions(argc, argv, kOptions, apply, seen, error)) return false;
    if (a.help || a.version) {
        *args = FrameArgs{};
        args->help = a.help;
        args->version = a.version;
        return true;
    }

    auto given = [&](Option id) { return seen[static_cast<int>(id)]; };
    if (!given(Option::kSeed)) return SetError(error, "--seed is required (0 seeds from the clock)");
    if (given(Option::kTime) && given(Option::kMs)) {
        return SetError(error, "--time and --ms exclude each other: give one");
    }
    if (!given(Option::kTime) && !given(Option::kMs)) return SetError(error, "--time or --ms is required");
    if (given(Option::kFps) && given(Option::kStep)) {
        return SetError(error, "--fps and --step exclude each other: give one");
    }
    // The 64-bit start keeps frame 0 at T for every --time T.
    if (given(Option::kMs)) a.schedule.time = TimeOfMoment(ms);
    a.schedule.start_ms = given(Option::kMs) ? uint64_t{ms} : uint64_t{kMsPerTimeUnit} * a.schedule.time;

    a.to_stdout = output_path.empty() || output_path == "-";
    if (!a.to_stdout) {
        if (!ParsePathPattern(output_path, &a.output, error)) return false;
        for (const std::string_view ext : kForeignImageExtensions) {
            if (EndsWithNoCase(output_path, ext)) {
                return SetError(error, "-o: noise-frame writes raw, ppm or png, not " + std::string(ext) +
                                           " images: " + QuoteForError(output_path));
            }
        }
        if (!given(Option::kFormat)) {
            if (EndsWithNoCase(output_path, ".png")) {
                a.format = FrameFormat::kPng;
            } else if (EndsWithNoCase(output_path, ".ppm") || EndsWithNoCase(output_path, ".pnm")) {
                a.format = FrameFormat::kPpm;
            }
        }
    }
    // Raw frames and PPM images may follow one another in one stream; PNG files may not.
    if (a.format == FrameFormat::kPng && a.frames > 1) {
        const std::string what = std::to_string(a.frames) + " png frames";
        if (a.to_stdout) {
            return SetError(
                error,
                "-o: " + what + " need a file path with %d, e.g. frame-%04d.png (or use ppm for a stream)");
        }
        if (!a.output.has_number) {
            return SetError(error, "-o: " + what + " need %d in the path, e.g. frame-%04d.png: " +
                                       QuoteForError(output_path));
        }
    }
    *args = std::move(a);
    return true;
}
