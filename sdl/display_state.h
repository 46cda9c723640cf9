// The SDL2 display's one state struct, shared by the files of the front end:
// the window (own or given), what its surface shows, the input taken in and
// the line DisplayError gives.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

struct SdlDisplay {
    SDL_Window* window = nullptr;
    bool given_window = false;             // drawing in another program's window
    bool screensaver_was_enabled = false;  // restored on close (own window only)
    int open_width = 0;                    // the frame size PresentFrame shows (OpenDisplay's)
    int open_height = 0;
    SDL_Rect windowed{};                   // the own window's place and size out of full screen

    // Input taken in by the last PresentSizedFrame.
    int zoom_request = 0;             // last zoom key since TakeZoomRequest, 0 for none
    bool fullscreen_toggle = false;   // F11 or Alt+Enter pressed an odd number of times
    uint64_t presented = 0;           // frames PresentFrame has numbered

    // What the window surface holds, so that an unchanged frame is not
    // copied again: the frame's number on that surface, or shown = false.
    bool shown = false;
    const SDL_Surface* shown_surface = nullptr;
    const void* shown_pixels = nullptr;
    int shown_width = 0, shown_height = 0;
    uint64_t shown_number = 0;

    SDL_Surface* picture = nullptr;  // a frame of another size than the window's, right side up
    char rate_text[32] = {};         // in a given window: the rate drawn in the corner

    std::string error_text;  // DisplayError's line
};

extern SdlDisplay display;

// Keeps text as DisplayError's line; returns false.
bool Fail(std::string text);
