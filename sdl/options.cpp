// Parsing of the native program's command line; the numbers are read by the
// shared parsers (cli/), so both programs accept the same seeds and times.
#include "sdl/options.h"

#include <string_view>

#include "cli/arg_text.h"
#include "cli/options.h"

namespace {

enum Option { kSeed, kZoom, kTime, kPresentOnly, kHelp, kVersion, kOptionCount };

constexpr OptionSpec kOptions[] = {
    {kSeed, "--seed", 's', true, "--seed", false},
    {kZoom, "--zoom", 'z', true, "--zoom", false},
    {kTime, "--time", 't', true, "--time", false},
    {kPresentOnly, "--present-only", 0, false, "--present-only", false},
    {kHelp, "--help", 'h', false, "--help", true},
    {kVersion, "--version", 'V', false, "--version", true},
};

}  // namespace

bool ParseNativeArgs(int argc, const char* const* argv, NativeOptions* options, std::string* error) {
    NativeOptions o;
    bool seen[kOptionCount] = {};
    auto apply = [&](const OptionSpec& entry, std::string_view value) {
        std::string problem;
        auto number = [&](bool ok) {
            return ok || SetError(error, std::string(entry.shown) + ": " + problem + ": " + QuoteForError(value));
        };
        switch (entry.id) {
            case kSeed:
                return number(ParseSignedOrUnsigned32(value, &o.seed, &problem));
            case kTime:
                o.hold_time = true;
                return number(ParseUnsigned32(value, &o.time, &problem));
            case kZoom:
                if (value != "1" && value != "2" && value != "4") {
                    return SetError(error, "--zoom: not 1, 2 or 4: " + QuoteForError(value));
                }
                o.zoom = value[0] - '0';
                return true;
            case kPresentOnly:
                o.present_only = true;
                return true;
            case kHelp:
                o = NativeOptions{};
                o.help = true;
                return true;
            case kVersion:
                o = NativeOptions{};
                o.version = true;
                return true;
        }
        return true;
    };
    if (!ParseOptions(argc, argv, kOptions, apply, seen, error)) return false;
    *options = o;
    return true;
}

const char* NativeUsage() {
    return "usage: noise-animation [--seed S] [--zoom 1|2|4] [--time T]\n"
           "       noise-animation --help | --version\n"
           "Shows the noise animation in a window; keys 1, 2 and 4 zoom, Esc ends it.\n"
           "Options take their value as the next argument or after '=' (--seed=5); the\n"
           "short forms also right after the letter (-s5).\n"
           "  -s, --seed S   table seed, -2147483648..4294967295 or 0x-hex; 0 (the\n"
           "                 default) seeds from the clock, as noise-frame --seed does\n"
           "  -z, --zoom N   start at N x the 320x200 picture (1, 2 or 4; default 1)\n"
           "  -t, --time T   hold the animation at time value T (milliseconds div 3),\n"
           "                 the picture noise-frame --time T draws\n"
           "  -h, --help     this text\n"
           "  -V, --version  the version\n";
}
