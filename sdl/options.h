// Command line of the native program. Pure (no I/O, no exit), so the parser
// can be tested on its own.
#pragma once

#include <cstdint>
#include <string>

struct NativeOptions {
    bool help = false;          // --help: print usage, open no window
    bool version = false;       // --version: print the version, open no window
    uint32_t seed = 0;          // two's-complement bits for InitNoise; 0 = from the clock
    int zoom = 1;               // client area is zoom x (W x H): 1, 2 or 4
    bool hold_time = false;     // --time given
    uint32_t time = 0;          // time value (clock ms div 3) held on every frame
    bool present_only = false;  // benchmark mode: present one rendered frame again and again
};

// Parses the arguments after the program name (argv[0 .. argc-1]). On
// failure returns false and sets *error to one line naming the problem,
// e.g. "--zoom: not 1, 2 or 4: '3'". Rules:
//   -s, --seed S   -2147483648..4294967295 in decimal or 0x-hex; 0 (default) = clock
//   -z, --zoom N   1, 2 or 4; default 1
//   -t, --time T   0..4294967295 (decimal or 0x-hex): hold the animation at T
//   --present-only no rendering in the loop (for the frame-rate benchmark)
//   -h, --help     usage; -V, --version: the version
// The forms and error lines are noise-frame's (cli/options.h); each option
// may be given once.
bool ParseNativeArgs(int argc, const char* const* argv, NativeOptions* options, std::string* error);

// The usage text printed by --help.
const char* NativeUsage();
