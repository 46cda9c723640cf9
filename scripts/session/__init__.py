"""Drives the project's programs on an X display: one private Xvfb, Wine
prefixes, program start and stop, window look-up, title, keys, screenshots
and exit codes, every wait bounded. Standard library only; X and Wine
through their command-line tools (xdotool, import, xset, wineboot) and
libX11 for the close request.

    from session import Session, Failure

    with Session(private_display=True, screen="1024x768x24") as s:   # private_display=False: $DISPLAY when set
        s.display, s.env                        # ":N"; environment with DISPLAY, WINEDEBUG=-all
        s.private                               # True when the display is the session's own Xvfb
        s.prepare_prefix(prefix)                # create and boot the prefix once (flock'd); idempotent
        p = s.start_wine(prefix, exe, args=(), env=None, cwd=None, stdout=None, stderr=None)
        p = s.start_native(argv, env=None, cwd=None, stdout=None, stderr=None)
        helper, w = s.start_window((width, height), input_only=False)   # another client's window
        s.end_display()                         # the private Xvfb ends now, its clients losing it
        p.pid, p.name, p.stdout; p.poll(); p.wait(seconds) -> code or None; p.stop()
        p.expect_exit(seconds, after, code=0)  # ends with CODE within SECONDS, or Failure
        p.send_signal(signal.SIGTERM)           # to the program alone
        p.wait_image(name, seconds)             # until Wine's loader has become the program NAME
        w = s.wait_window(p, title_regex, seconds)   # a visible window of p whose name matches
        s.windows(title_regex)                  # every visible window on the display that matches
        s.title(w); s.wait_title(w, regex, seconds) -> title
        s.key(w, "Escape"); s.close_window(w)   # key press; WM_DELETE_WINDOW close request
        s.key_storm(w, keys, seconds, rate) -> sent   # KEYS round after round, RATE keys a second
        s.geometry(w) -> (x, y, width, height); s.screen_size() -> (width, height)
        s.screenshot(w) -> Image(width, height, pixels); s.save_png(w, path)
        s.expect_animation(w, size=None, seconds=10) -> Image   # palette-only, changing marble pattern
        s.xset_timeout() -> seconds
        s.wait_for(predicate, seconds, what)    # bounded polling; raises Failure(what)

    palette_colours()                           # the program's 256 (r, g, b) colours, in order
    wait_for(predicate, seconds, what)          # the same bounded polling without a session

Leaving the block stops every program started through the session by its
process group (bounded), waits (bounded) for the Wine server of every prefix
it used when the display is private, and stops the private Xvfb.

Failure is the one exception for a failed check or wait; its message is one
line to print. session.cli holds what the command-line tools share;
`python3 -m session --help` lists the entry points for shell scripts.
"""

from .core import Session
from .process import Failure, Program, wait_for
from .xserver import Image, palette_colours

__all__ = ["Failure", "Image", "Program", "Session", "palette_colours", "wait_for"]
