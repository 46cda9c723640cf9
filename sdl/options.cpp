// Parsing of the native program's command line; the numbers are read by the
// shared parsers (cli/), so both programs accept the same seeds and times.
#include "sdl/options.h"

#include <string_view>

#include "cli/arg_text.h"
#include "cli/options.h"

namespace {

enum Option {
    kSeed,
    kZoom,
    kTime,
    kPresentOnly,
    kRoot,
    kWindowId,
    kDelay,
    kFps,
    kHelp,
    kVersion,
    kOptionCount
};

constexpr uint32_t kMaxDelay = 10000000;  // ten seconds per frame

constexpr OptionEntry kOptions[] = {
    {kSeed, "--seed", 's', true, "--seed", false},
    {kZoom, "--zoom", 'z', true, "--zoom", false},
    {kTime, "--time", 't', true, "--time", false},
    {kPresentOnly, "--present-only", 0, false, "--present-only", false},
    {kRoot, "--root", 0, false, "--root", false},
    {kWindowId, "--window-id", 0, true, "--window-id", false},
    {kDelay, "--delay", 0, true, "--delay", false},
    {kFps, "--fps", 0, false, "--fps", false},
    {kHelp, "--help", 'h', false, "--help", true},
    {kVersion, "--version", 'V', false, "--version", true},
};

}  // namespace

bool ParseNativeArgs(int argc, const char* const* argv, NativeOptions* options, std::string* error) {
    NativeOptions o;
    bool seen[kOptionCount] = {};
    auto apply = [&](const OptionEntry& entry, std::string_view value) {
        std::string problem;
        auto number = [&](bool ok) {
            return ok ||
                   SetError(error, std::string(entry.shown) + ": " + problem + ": " + QuoteForError(value));
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
            case kRoot:
                o.root = true;
                return true;
            case kFps:
                o.fps = true;
                return true;
            case kWindowId:
                if (!number(ParseUnsigned32(value, &o.window_id, &problem))) return false;
                return o.window_id != 0 ||
                       SetError(error, "--window-id: not a window: " + QuoteForError(value));
            case kDelay:
                o.has_delay = true;
                if (!number(ParseUnsigned32(value, &o.delay, &problem))) return false;
                return o.delay <= kMaxDelay ||
                       SetError(error, "--delay: more than " + std::to_string(kMaxDelay) +
                                           " microseconds: " + QuoteForError(value));
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
    return "usage: noise-animation [--seed S] [--zoom 1|2|4] [--time T] [--delay US]\n"
           "                       [--root | --window-id ID] [--fps]\n"
           "       noise-animation --help | --version\n"
           "Shows the noise animation in a window; keys 1, 2 and 4 zoom, Esc ends it.\n"
           "With --root or --window-id it draws in a window it is given instead, as\n"
           "an X screen-saver hack, until the window goes away or SIGTERM ends it.\n"
           "Options take their value as the next argument or after '=' (--seed=5); the\n"
           "short forms also right after the letter (-s5).\n"
           "  -s, --seed S   table seed, -2147483648..4294967295 or 0x-hex; 0 (the\n"
           "                 default) seeds from the clock, as noise-frame --seed does\n"
           "  -z, --zoom N   start at N x the 320x200 picture (1, 2 or 4; default 1)\n"
           "  -t, --time T   hold the animation at time value T (milliseconds div 3),\n"
           "                 the picture noise-frame --time T draws\n"
           "  --delay US     pace the frames US microseconds apart (0..10000000); 0 runs\n"
           "                 flat out. Default: flat out in the program's own window,\n"
           "                 one display refresh (else 16667, about 60 a second) in a\n"
           "                 window given\n"
           "  --root         draw in the window XSCREENSAVER_WINDOW names (hex or decimal)\n"
           "  --window-id ID draw in the X window ID (hex or decimal), stretched over it\n"
           "  --fps          show the frame rate, in the corner of a window given (the\n"
           "                 own window always shows it in its title)\n"
           "  -h, --help     this text\n"
           "  -V, --version  the version\n";
}
