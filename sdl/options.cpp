// Parsing of the native program's command line; the numbers are read by the
// shared parsers (cli/), so both programs accept the same seeds and times.
#include "sdl/options.h"

#include <string_view>

#include "cli/arg_text.h"

bool ParseNativeArgs(int argc, const char* const* argv, NativeOptions* options, std::string* error) {
    NativeOptions o;
    bool seen_seed = false, seen_zoom = false, seen_time = false, seen_present_only = false;

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
    return "usage: noise-animation [--seed S] [--zoom 1|2|4] [--time T]\n"
           "Shows the noise animation in a window; keys 1, 2 and 4 zoom, Esc ends it.\n"
           "  --seed S   table seed, -2147483648..4294967295 or 0x-hex; 0 (the default)\n"
           "             seeds from the clock, as noise-frame --seed does\n"
           "  --zoom N   start at N x the 320x200 picture (1, 2 or 4; default 1)\n"
           "  --time T   hold the animation at time value T (milliseconds div 3),\n"
           "             the picture noise-frame --time T draws\n";
}
