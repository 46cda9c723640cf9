// Parsing of the native program's command line; the numbers are read by the
// shared parsers (cli/), so both programs accept the same seeds and times.
#include "sdl/options.h"

#include <string_view>

#include "cli/arg_text.h"
#include "cli/options.h"
#include "loop/frame_loop.h"  // IsZoomFactor

namespace {

enum Option {
    kSeed,
    kZoom,
    kSize,
    kFullscreen,
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
    {kSize, "--size", 0, true, "--size", false},
    {kFullscreen, "--fullscreen", 0, false, "--fullscreen", false},
    {kTime, "--time", 't', true, "--time", false},
    {kPresentOnly, "--present-only", 0, false, "--present-only", false},
    {kRoot, "--root", 0, false, "--root", false, true},
    {kWindowId, "--window-id", 0, true, "--window-id", false, true},
    {kDelay, "--delay", 0, true, "--delay", false, true},
    {kFps, "--fps", 0, false, "--fps", false, true},
    {kHelp, "--help", 'h', false, "--help", true},
    {kVersion, "--version", 'V', false, "--version", true},
};

// The options that do not go together: a size and a zoom, and the own
// window's --size and --fullscreen with a window given.
bool CheckCombination(const bool* seen, std::string* error) {
    if (seen[kSize] && seen[kZoom]) return SetError(error, "--size: not with --zoom");
    const bool given_window = seen[kRoot] || seen[kWindowId];
    if (given_window && seen[kSize]) return SetError(error, "--size: not with --root or --window-id");
    if (given_window && seen[kFullscreen]) return SetError(error, "--fullscreen: not with --root or --window-id");
    return true;
}

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
                // One digit, as the keys give it.
                if (value.size() != 1 || !IsZoomFactor(value[0] - '0')) {
                    return SetError(error, "--zoom: not 1, 2 or 4: " + QuoteForError(value));
                }
                o.zoom = value[0] - '0';
                return true;
            case kSize: {
                FrameShape shape;
                if (!ParseFrameSize(value, &shape, &problem)) return number(false);
                o.width = shape.width;
                o.height = shape.height;
                return true;
            }
            case kFullscreen:
                o.fullscreen = true;
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
    if (!o.help && !o.version && !CheckCombination(seen, error)) return false;
    *options = o;
    return true;
}

const char* NativeUsage() {
    return "usage: noise-animation [--seed S] [--zoom 1|2|4 | --size WxH] [--fullscreen]\n"
           "                       [--time T] [--delay US] [--fps]\n"
           "       noise-animation --root | --window-id ID [--seed S] [--time T] [--delay US]\n"
           "                       [--fps]\n"
           "       noise-animation --help | --version\n"
           "Shows the noise animation in a window, drawn at the window's own size: keys\n"
           "1, 2 and 4 make it 320x200 times that, F11 or Alt+Enter switches full screen\n"
           "on and off, Esc ends it. With --root or --window-id it draws in a window it\n"
           "is given instead, as an X screen-saver hack, at that window's size, until the\n"
           "window goes away or SIGTERM ends it.\n"
           "Options take their value as the next argument or after '=' (--seed=5); the\n"
           "short forms also right after the letter (-s5). The hack's options also take\n"
           "one dash (-root, -window-id ID, -delay US, -fps).\n"
           "  -s, --seed S      table seed, -2147483648..4294967295 or 0x-hex; 0 (the\n"
           "                    default) seeds from the clock, as noise-frame --seed does\n"
           "  -z, --zoom N      open the window at N x 320x200 (1, 2 or 4; default 1)\n"
           "  --size WxH        open the window at W x H pixels (each side 1..16384, at\n"
           "                    most 8192x8192 pixels in all)\n"
           "  --fullscreen      start full screen\n"
           "  -t, --time T      hold the animation at time value T (milliseconds div 3),\n"
           "                    the picture noise-frame --time T draws at the same size\n"
           "  --delay US        pace the frames US microseconds apart (0..10000000); 0\n"
           "                    runs flat out. Default: flat out in the program's own\n"
           "                    window, one display refresh (else 16667, about 60 a\n"
           "                    second) in a window given\n"
           "  --root            draw in the window XSCREENSAVER_WINDOW names (hex or\n"
           "                    decimal)\n"
           "  --window-id ID    draw in the X window ID (hex or decimal)\n"
           "  --fps             show the frame rate, in the corner of a window given (the\n"
           "                    own window always shows it in its title)\n"
           "  -h, --help        this text\n"
           "  -V, --version     the version\n";
}
