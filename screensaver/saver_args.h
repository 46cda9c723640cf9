// The screen saver's command line, as Windows passes it: /s to run, /p HWND
// for the preview, /c or /c:HWND for the settings, nothing at all for the
// settings too. Portable: no Windows headers.
#pragma once

#include <cstdint>

enum class SaverMode {
    kShow,       // /s: full screen
    kPreview,    // /p HWND: inside the given window
    kConfigure,  // /c, /c:HWND or no argument: the settings box
    kUnknown,    // anything else: end at once
};

struct SaverArgs {
    SaverMode mode;
    bool has_window;  // a window handle followed /p or /c
    uint32_t window;  // that handle, as the decimal number Windows writes
};

// Reads the command line after the program name. The first argument
// decides, case-insensitively, in the forms /x, -x, /x:N and /x N (spaces
// and tabs separate arguments); a letter followed by anything but the end,
// a space or a colon is unknown ("/save"). N is a decimal handle of at
// most 32 bits; a missing or bad N leaves has_window false. Arguments after
// the first one and the handle are ignored.
SaverArgs ParseSaverArgs(const char* command_line);
