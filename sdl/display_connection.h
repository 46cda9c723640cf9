// The connection to the display: which SDL video driver, a deadline for a
// display that does not answer at start-up, and one line of the program's
// own when the X display goes away mid-run.
#pragma once

#include <functional>
#include <string>

// Starts SDL's video on a real display for the program's windows: SDL's
// signal handlers off, the screen saver left alone (the own window switches
// it itself), and on X11 the window surface in shared memory rather than
// through OpenGL. Returns false with DisplayError set when no display can
// be reached.
bool StartVideo();

// Runs open() under a deadline: a display that accepts the connection but
// never answers would hold SDL in its first read for ever. Ends the process
// with one line and exit code 1 when the deadline passes.
bool OpenBeforeDeadline(const std::function<bool()>& open);

// The displays the environment names, quoted, for messages
// ("DISPLAY=':0', WAYLAND_DISPLAY='wayland-0'").
std::string NamedDisplays();

// The program's exit code when it cannot start or loses its display.
constexpr int kExitNoDisplay = 1;
