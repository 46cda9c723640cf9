// Command line of the native program. Pure (no I/O, no exit), so the parser
// can be tested on its own.
#pragma once

#include <cstdint>
#include <string>

struct NativeOptions {
    bool help = false;          // --help: print usage, open no window
    bool version = false;       // --version: print the version, open no window
    uint32_t seed = 0;          // two's-complement bits for InitNoise; 0 = from the clock
    int zoom = 1;               // the window is zoom x 320 x 200: 1, 2 or 4
    int width = 0;              // --size: the window's size in pixels; 0 = from the zoom
    int height = 0;
    bool fullscreen = false;    // --fullscreen: start full screen
    bool hold_time = false;     // --time given
    uint32_t time = 0;          // time value (clock ms div 3) held on every frame
    bool present_only = false;  // benchmark mode: present one rendered frame again and again
    bool root = false;          // --root: draw in the window XSCREENSAVER_WINDOW names
    uint32_t window_id = 0;     // --window-id: draw in this X window; 0 = none given
    bool has_delay = false;     // --delay given
    uint32_t delay = 0;         // microseconds per frame; 0 = flat out
    bool fps = false;           // --fps: show the frame rate in the window drawn in
};

// Parses the arguments after the program name (argv[0 .. argc-1]). On
// failure returns false and sets *error to one line naming the problem,
// e.g. "--zoom: not 1, 2 or 4: '3'". Rules:
//   -s, --seed S   -2147483648..4294967295 in decimal or 0x-hex; 0 (default) = clock
//   -z, --zoom N   1, 2 or 4 (IsZoomFactor); default 1
//   --size WxH     the window's size (ParseFrameSize's sizes); not with --zoom
//   --fullscreen   start full screen
//   -t, --time T   0..4294967295 (decimal or 0x-hex): hold the animation at T
//   --present-only no rendering in the loop (for the frame-rate benchmark)
//   --root         X screen-saver hack: draw in the window XSCREENSAVER_WINDOW names
//   --window-id ID 1..4294967295 (decimal or 0x-hex): draw in that X window
//   --delay US     0..10000000 microseconds per frame (decimal or 0x-hex); 0 = flat out
//   --fps          show the frame rate (drawn in the window with --root/--window-id)
//   -h, --help     usage; -V, --version: the version
// --size and --fullscreen are the own window's, refused with --root or
// --window-id. The forms and error lines are noise-frame's (cli/options.h);
// each option may be given once. The hack's options, --root, --window-id,
// --delay and --fps, are also taken with one dash (-root), as the X
// screen-saver daemon's settings often name hacks.
bool ParseNativeArgs(int argc, const char* const* argv, NativeOptions* options, std::string* error);

// The usage text printed by --help.
const char* NativeUsage();
