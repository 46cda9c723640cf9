// Parsing of the native program's command line; the numbers are read by the
// frame tool's parsers, so both programs accept the same seeds and times.
#include "sdl/options.h"

#include <string_view>

#include "tools/frame_args.h"

namespace {

constexpr uint32_t kMaxDelay = 10000000;  // ten seconds per frame

bool SetError(std::string* error, std::string text) {
    *error = std::move(text);
    return false;
}

}  // namespace

bool ParseNativeArgs(int argc, const char* const* argv, NativeOptions* options, std::string* error) {
    NativeOptions o;
    bool seen_seed = false, seen_zoom = false, seen_time = false, seen_present_only = false;
    bool seen_root = false, seen_window_id = false, seen_delay = false, seen_fps = false;

    for (int k = 0; k < argc && argv[k] != nullptr; ++k) {
        const std::string_view arg = argv[k];
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            *options = o;
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

        bool* seen = nullptr;
        if (name == "--seed") {
            seen = &seen_seed;
        } else if (name == "--zoom") {
            seen = &seen_zoom;
        } else if (name == "--time") {
            seen = &seen_time;
        } else if (name == "--present-only") {
            seen = &seen_present_only;
        } else if (name == "--root") {
            seen = &seen_root;
        } else if (name == "--window-id") {
            seen = &seen_window_id;
        } else if (name == "--delay") {
            seen = &seen_delay;
        } else if (name == "--fps") {
            seen = &seen_fps;
        } else if (!arg.empty() && arg[0] == '-') {
            return SetError(error, "unknown option " + QuoteForError(arg));
        } else {
            return SetError(error, "unexpected argument " + QuoteForError(arg));
        }
        const std::string option(name);
        if (*seen) return SetError(error, option + ": given more than once");
        *seen = true;

        if (option == "--present-only") {
            if (has_value) return SetError(error, "--present-only takes no value");
            o.present_only = true;
            continue;
        }
        if (option == "--root" || option == "--fps") {
            if (has_value) return SetError(error, option + " takes no value");
            (option == "--root" ? o.root : o.fps) = true;
            continue;
        }
        if (!has_value) {
            if (k + 1 >= argc || argv[k + 1] == nullptr) return SetError(error, option + ": missing value");
            value = argv[++k];
        }

        std::string problem;
        if (option == "--seed") {
            if (!ParseSignedOrUnsigned32(value, &o.seed, &problem)) {
                return SetError(error, "--seed: " + problem + ": " + QuoteForError(value));
            }
        } else if (option == "--time") {
            if (!ParseUnsigned32(value, &o.time, &problem)) {
                return SetError(error, "--time: " + problem + ": " + QuoteForError(value));
            }
            o.hold_time = true;
        } else if (option == "--window-id") {
            if (!ParseUnsigned32(value, &o.window_id, &problem)) {
                return SetError(error, "--window-id: " + problem + ": " + QuoteForError(value));
            }
            if (o.window_id == 0) return SetError(error, "--window-id: not a window: " + QuoteForError(value));
        } else if (option == "--delay") {
            if (!ParseUnsigned32(value, &o.delay, &problem)) {
                return SetError(error, "--delay: " + problem + ": " + QuoteForError(value));
            }
            if (o.delay > kMaxDelay) {
                return SetError(error, "--delay: more than " + std::to_string(kMaxDelay) +
                                           " microseconds: " + QuoteForError(value));
            }
            o.has_delay = true;
        } else {
            if (value != "1" && value != "2" && value != "4") {
                return SetError(error, "--zoom: not 1, 2 or 4: " + QuoteForError(value));
            }
            o.zoom = value[0] - '0';
        }
    }
    *options = o;
    return true;
}

const char* NativeUsage() {
    return "usage: noise-animation [--seed S] [--zoom 1|2|4] [--time T] [--delay US]\n"
           "       noise-animation --root|--window-id ID [--delay US] [--fps] [--seed S] [--time T]\n"
           "Shows the noise animation in a window; keys 1, 2 and 4 zoom, Esc ends it.\n"
           "With --root or --window-id it draws in a window it is given instead, as\n"
           "an X screen-saver hack, until the window goes away or SIGTERM ends it.\n"
           "  --seed S   table seed, -2147483648..4294967295 or 0x-hex; 0 (the default)\n"
           "             seeds from the clock, as noise-frame --seed does\n"
           "  --zoom N   start at N x the 320x200 picture (1, 2 or 4; default 1)\n"
           "  --time T   hold the animation at time value T (milliseconds div 3),\n"
           "             the picture noise-frame --time T draws\n"
           "  --delay US pace the frames US microseconds apart (0..10000000); 0 runs\n"
           "             flat out. Default: flat out in the program's own window, one\n"
           "             display refresh (else 16667, about 60 a second) in a window given\n"
           "  --root     draw in the window XSCREENSAVER_WINDOW names (hex or decimal id)\n"
           "  --window-id ID  draw in the X window ID (hex or decimal), stretched over it\n"
           "  --fps      show the frame rate, in the corner of a window given (the own\n"
           "             window shows it in its title always)\n";
}
