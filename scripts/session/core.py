"""Session: one X display and the programs started on it, all ended when
the session ends."""

import os
import re
import select
import subprocess
import sys
from pathlib import Path

from . import wine, xserver
from .process import Failure, Program, wait_for

MARBLE_COLOURS = 16  # fewer distinct colours than this is not the marble pattern


class Session:
    """A private Xvfb (or the caller's DISPLAY, with private_display=False
    when DISPLAY is set) and every program started through it. Use it as a
    context manager: leaving it stops the programs by process group, waits
    for the Wine server of every prefix used when the display is private,
    and stops the Xvfb; every step is bounded. SCREEN ("WxHxDEPTH") sizes
    a private Xvfb's screen."""

    def __init__(self, private_display=True, screen=xserver.XVFB_SCREEN):
        self._programs = []
        self._prefixes = []
        self._claims = []
        self._xvfb = None
        env = dict(os.environ)
        env["WINEDEBUG"] = "-all"
        if private_display or not env.get("DISPLAY"):
            self.display, self._xvfb = xserver.start_xvfb(screen=screen)
        else:
            self.display = env["DISPLAY"]
        env["DISPLAY"] = self.display
        self.env = env

    @property
    def private(self):
        """True when the display is the session's own Xvfb."""
        return self._xvfb is not None

    @property
    def display_pid(self):
        """The process id of the session's own Xvfb; None on the caller's display."""
        return self._xvfb.pid if self._xvfb is not None else None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def end_display(self):
        """Stops the session's own Xvfb now, while its clients run: they lose
        their display as when an X server ends."""
        if self._xvfb is None:
            raise Failure("the session's display is not its own")
        self._xvfb.stop()

    def close(self):
        for program in reversed(self._programs):
            program.stop()
        self._programs.clear()
        if self._xvfb is not None:
            for prefix in self._prefixes:
                wine.settle(prefix, self.env)
            self._xvfb.stop()
            self._xvfb = None
        for claim in self._claims:
            claim.close()
        self._claims.clear()

    # Programs.

    def prepare_prefix(self, prefix):
        """Creates and boots PREFIX if needed (see wine.prepare_prefix) and
        returns it as an absolute path, held by this session until it ends
        (see wine.claim_prefix). Call it before starting a clock."""
        claim = wine.claim_prefix(prefix, self.env)
        if claim is not None:
            self._claims.append(claim)
        prefix = wine.prepare_prefix(prefix, self.env)
        if prefix not in self._prefixes:
            self._prefixes.append(prefix)
        return prefix

    def start_wine(self, prefix, exe, args=(), env=None, cwd=None, stdout=None, stderr=None):
        """Starts Windows program EXE under Wine in PREFIX (prepared first);
        ENV entries are added to the session's environment."""
        prefix = self.prepare_prefix(prefix)
        full_env = wine.wine_env(self.env, prefix)
        full_env.update(env or {})
        return self._track(Program([wine.loader(), exe, *args], full_env, cwd, stdout, stderr,
                                   name=os.path.basename(str(exe))))

    def start_native(self, argv, env=None, cwd=None, stdout=None, stderr=None):
        """Starts a Linux program on the session's display."""
        full_env = dict(self.env)
        full_env.update(env or {})
        return self._track(Program(argv, full_env, cwd, stdout, stderr))

    def start_window(self, size, seconds=20, input_only=False):
        """A helper process holding a window of SIZE (width, height) with a
        red background, or an InputOnly one, for a program to draw in: (its
        Program, the window id). Ending the helper destroys the window."""
        kind = ["input-only"] if input_only else []
        helper = self.start_native([sys.executable, "-m", "session", "window", str(size[0]), str(size[1]), *kind],
                                   env={"PYTHONPATH": str(Path(__file__).resolve().parents[1])},
                                   stdout=subprocess.PIPE)
        ready, _, _ = select.select([helper.stdout], [], [], seconds)
        line = helper.stdout.readline() if ready else b""
        if not line.strip().isdigit():
            raise Failure(f"the window helper gave no window id within {seconds} s")
        return helper, int(line)

    def _track(self, program):
        self._programs.append(program)
        return program

    # Windows.

    def wait_window(self, program, title_regex, seconds):
        """The X window id of PROGRAM's visible window whose name matches
        TITLE_REGEX. Raises Failure when PROGRAM ends first, or after
        SECONDS."""
        def found():
            code = program.poll()
            if code is not None:
                raise Failure(f"{program.name} ended with exit code {code} before showing a window")
            windows = xserver.find_windows(self.env, title_regex, program.pid)
            return windows[0] if windows else None
        return wait_for(found, seconds, f"the window of {program.name}")

    def windows(self, title_regex):
        """Ids of every visible window on the display whose name matches."""
        return xserver.find_windows(self.env, title_regex)

    def title(self, window):
        return xserver.window_name(self.env, window)

    def wait_title(self, window, regex, seconds):
        """The window's name once it matches REGEX (re.search)."""
        pattern = re.compile(regex)

        def matching():
            name = self.title(window)
            return name if pattern.search(name) else None
        return wait_for(matching, seconds, f"a title matching {pattern.pattern!r}")

    def key(self, window, key):
        """Sends KEY (an xdotool key name such as "Escape") to WINDOW."""
        xserver.send_key(self.env, window, key)

    def key_storm(self, window, keys, seconds, rate):
        """Presses and releases KEYS in WINDOW round after round for SECONDS,
        RATE keys a second; the number of keys sent."""
        return xserver.key_storm(self.display, window, keys, seconds, rate)

    def close_window(self, window):
        """A window manager's close request (WM_DELETE_WINDOW)."""
        xserver.close_window(self.display, window)

    def geometry(self, window):
        return xserver.geometry(self.env, window)

    def screen_size(self):
        """(width, height) of the display's screen."""
        return tuple(int(v) for v in xserver.run_tool(["xdotool", "getdisplaygeometry"], self.env).stdout.split())

    def screenshot(self, window):
        return xserver.screenshot(self.env, window)

    def expect_animation(self, window, size=None, seconds=10):
        """Checks what the window shows is the animation: within SECONDS the
        marble pattern (16 colours or more) appears, every pixel is one of the
        palette's colours, the client area is SIZE (width, height) when given,
        and the picture then changes within SECONDS. Returns the first shot."""
        first = wait_for(lambda: (lambda shot: shot if len(set(shot.pixels)) >= MARBLE_COLOURS else None)(
            self.screenshot(window)), seconds, "the marble pattern (16 colours or more)")
        if size is not None and (first.width, first.height) != tuple(size):
            raise Failure(f"client area is {first.width}x{first.height}, not {size[0]}x{size[1]}")
        colours = set(xserver.palette_colours())
        strangers = {p for p in first.pixels if p not in colours}
        if strangers:
            raise Failure(f"{len(strangers)} colours outside the palette, e.g. {sorted(strangers)[:3]}")
        wait_for(lambda: self.screenshot(window).pixels != first.pixels, seconds, "the picture to change")
        return first

    def save_png(self, window, path):
        xserver.save_png(self.env, window, path)

    def xset_timeout(self):
        return xserver.xset_timeout(self.env)

    @staticmethod
    def wait_for(predicate, seconds, what):
        return wait_for(predicate, seconds, what)
