#!/usr/bin/env python3
"""End-to-end checks of noise-animation.exe and noise-animation.scr under
Wine on an X display.

  program_e2e.py CHECK --prefix DIR --program EXE [--planted DLL --child EXE]
                 [--saver SCR [--reference EXE]]

animation:  started with an argument it ignores, the title shows the frame
            rate, the client area holds only palette colours and changes
            over time, Esc ends it with code 0.
no-drawdib: with msvfw32 disabled the program ends at once with code 0 and
            never shows a window.
planted:    a msvfw32.dll beside the program (native-first load order) is
            never loaded, and the program still runs; first, display_child
            in the same folder loads it on purpose and must leave the marker,
            or the check could not see a load.
screen-saver: the X screen saver's timeout, 300 s before start, is 0 while
            the program runs and 300 again once it has ended, after Esc,
            the close button and Alt+F4; switched off before start, it
            stays off.

saver-show: the screen saver's /s covers the whole screen, shows only
            palette colours and a changing picture, keeps its title free of
            a frame rate, leaves the X screen saver's timeout as it was,
            stays when the pointer moves two pixels and ends with code 0
            when it moves far.
saver-key:  /S (what a double-click passes) ends with code 0 on a key press.
saver-exact: held at a moment (NOISE_SAVER_MOMENT), /s on screens of three
            sizes shows that moment's frame of the screen's size pixel for
            pixel as frame_reference renders it (or, by the scale rule, a
            fraction of it at a whole factor).

Uses DISPLAY when set, otherwise a private Xvfb; screen-saver and
saver-show always use their own Xvfb, since they change its settings.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

from session import Failure, Session, cli
from session.wine import DEFAULT_OVERRIDES

CAPTION = "^Noise animation"
SAVER_CAPTION = "^Noise animation$"
SCREEN = (0, 0, 1024, 768)  # the session's Xvfb screen: x, y, width, height
RATE_INTERVAL_S = 3         # longer than the program's two-second rate interval
RATE_TITLE = r"^Noise animation [0-9]+\.[0-9]{2} fps$"
WINDOW_WAIT_S = 40     # Wine start-up plus the first rate interval of two seconds
EXIT_WAIT_S = 20
CLIENT_SIZE = (320, 200)
QUIET = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}


def open_window(session, program):
    """The program's window, which must be the only one with its caption."""
    window = session.wait_window(program, CAPTION, WINDOW_WAIT_S)
    others = set(session.windows(CAPTION)) - {window}
    if others:
        raise Failure(f"{len(others)} more windows named like the program's")
    return window


def check_animation(session, args):
    # Arguments are ignored: a screen saver's /s must not change the window.
    program = session.start_wine(args.prefix, args.program, ["/s"], **QUIET)
    window = open_window(session, program)
    print(f"title: {session.wait_title(window, RATE_TITLE, WINDOW_WAIT_S)}")

    session.expect_animation(window, CLIENT_SIZE)
    session.key(window, "Escape")
    program.expect_exit(EXIT_WAIT_S, "after Esc")


def check_no_drawdib(session, args):
    program = session.start_wine(args.prefix, args.program,
                                 env={"WINEDLLOVERRIDES": DEFAULT_OVERRIDES + ";msvfw32=d"}, **QUIET)
    deadline = time.monotonic() + EXIT_WAIT_S
    while program.poll() is None and time.monotonic() < deadline:
        if session.windows(CAPTION):
            raise Failure("a window appeared although DrawDib is unavailable")
        time.sleep(0.1)
    program.expect_exit(EXIT_WAIT_S, "without DrawDib")
    print("ended at once with exit code 0 and no window")


def check_planted(session, args):
    if not args.planted or not args.child:
        raise Failure("--planted and --child are required")
    folder = tempfile.mkdtemp(prefix="noise-planted-")
    try:
        program_file = shutil.copy(args.program, folder)
        child_file = shutil.copy(args.child, folder)
        shutil.copy(args.planted, os.path.join(folder, "msvfw32.dll"))
        marker = os.path.join(folder, "planted.marker")
        env = {"WINEDLLOVERRIDES": DEFAULT_OVERRIDES + ";msvfw32=n,b",
               "NOISE_PLANTED_MARKER": "Z:" + marker.replace("/", "\\")}
        # The control: loaded by its bare name from a program in the same
        # folder, with the same load order and marker, the library must
        # leave the marker; otherwise its absence below proves nothing.
        probe = session.start_wine(args.prefix, child_file, ["load", "bare"], cwd=folder, env=env, **QUIET)
        probe.expect_exit(EXIT_WAIT_S, "loading the planted library on purpose")
        if not os.path.exists(marker):
            raise Failure("the planted library, loaded on purpose, left no marker: the check cannot see a load")
        os.remove(marker)

        program = session.start_wine(args.prefix, program_file, cwd=folder, env=env, **QUIET)
        window = open_window(session, program)
        if os.path.exists(marker):
            raise Failure("the msvfw32.dll beside the program was loaded")
        session.key(window, "Escape")
        program.expect_exit(EXIT_WAIT_S, "after Esc")
        if os.path.exists(marker):
            raise Failure("the msvfw32.dll beside the program was loaded")
        print("the planted library stayed unloaded; the program ran and ended with code 0")
    finally:
        shutil.rmtree(folder, ignore_errors=True)


class SaverTimeout:
    """Sets the X screen saver's timeout on the session's display and keeps
    it: when its last client leaves, the X server resets, and with it the
    timeout, so a client stays connected (started again if a reset caught
    it while connecting)."""

    def __init__(self, session):
        self.session = session
        self.holder = None

    def set(self, seconds):
        def holds():
            if self.holder is None or self.holder.poll() is not None:
                self.holder = self.session.start_native(["xprop", "-root", "-spy"], **QUIET)
            subprocess.run(["xset", "s", str(seconds)], env=self.session.env, check=True, timeout=10, **QUIET)
            return self.session.xset_timeout() == seconds
        self.session.wait_for(holds, 20, f"xset to set the screen-saver timeout to {seconds} s")


def check_screen_saver(session, args):
    session.prepare_prefix(args.prefix)
    timeout = SaverTimeout(session)
    closes = [("Esc", lambda w: session.key(w, "Escape")),
              ("the close button", session.close_window),
              ("Alt+F4", lambda w: session.key(w, "alt+F4"))]
    for before, (how, close) in [(300, close) for close in closes] + [(0, closes[0])]:
        timeout.set(before)
        program = session.start_wine(args.prefix, args.program, **QUIET)
        window = open_window(session, program)
        session.wait_for(lambda: session.xset_timeout() == 0, 10,
                         f"the screen saver to be off while the program runs (timeout {before} s before)")
        close(window)
        program.expect_exit(EXIT_WAIT_S, f"after {how}")
        after = session.xset_timeout()
        if after != before:
            raise Failure(f"screen-saver timeout {before} s before start is {after} s after {how}")
        print(f"timeout {before} s before, 0 while running, {after} s after {how}")


def xdotool(session, *args):
    return subprocess.run(["xdotool", *args], env=session.env, check=True, timeout=10,
                          capture_output=True).stdout.decode()


def pointer(session):
    values = dict(item.split(":") for item in xdotool(session, "getmouselocation").split()[:2])
    return int(values["x"]), int(values["y"])


def check_saver_show(session, args):
    session.prepare_prefix(args.prefix)
    timeout = SaverTimeout(session)
    timeout.set(300)
    program = session.start_wine(args.prefix, args.saver, ["/s"], **QUIET)
    window = session.wait_window(program, SAVER_CAPTION, WINDOW_WAIT_S)
    shown = time.monotonic()
    geometry = session.geometry(window)
    if geometry != SCREEN:
        raise Failure(f"the window is {geometry} (x, y, width, height), not the screen {SCREEN}")

    session.expect_animation(window)
    running = session.xset_timeout()
    if running != 300:
        raise Failure(f"the X screen-saver timeout is {running} s while the screen saver runs, not 300 s")
    # Past the program's first rate interval, the title is still the caption.
    time.sleep(max(0.0, RATE_INTERVAL_S - (time.monotonic() - shown)))
    if session.title(window) != "Noise animation":
        raise Failure(f"the screen saver's title changed to '{session.title(window)}'")

    x, y = pointer(session)
    xdotool(session, "mousemove", str(x + 2), str(y + 2))
    if program.wait(2) is not None:
        raise Failure(f"a move of two pixels ended the screen saver (exit code {program.poll()})")
    xdotool(session, "mousemove", str(x + 200), str(y + 150))
    program.expect_exit(EXIT_WAIT_S, "after the mouse moved")
    print("full screen, palette colours only, changing, timeout kept; ended by a mouse move with code 0")


def check_saver_key(session, args):
    program = session.start_wine(args.prefix, args.saver, ["/S"], **QUIET)
    window = session.wait_window(program, SAVER_CAPTION, WINDOW_WAIT_S)
    if program.wait(1) is not None:
        raise Failure(f"the screen saver ended by itself with exit code {program.poll()}")
    session.key(window, "a")
    program.expect_exit(EXIT_WAIT_S, "after a key press")
    print("ended by a key press with code 0")


# saver-exact's held moments, each on its own screen (width sets the cover
# scale; a width not a multiple of 4; height sets it).
EXACT_MOMENTS = [((1024, 768), 1, 999), ((1366, 768), 2654435769, 123456), ((1280, 1024), 7, 4000000000)]


def saver_scale(width, height):
    """The README's scale rule: 1 with AVX2, else at most 2 (SSE2) or 4,
    lowered while the frame would be narrower than 320 and lower than 200."""
    flags = open("/proc/cpuinfo").read().split("\nflags", 1)[1].split("\n", 1)[0].split()
    scale = 1 if "avx2" in flags else 2 if "sse2" in flags else 4
    while scale > 1 and -(-width // scale) < 320 and -(-height // scale) < 200:
        scale -= 1
    return scale


def reference_picture(session, args, seed, moment, width, height, scale):
    """frame_reference's frame of the moment at ceil(size / scale), each
    pixel scale x scale from the bottom-left corner: (r, g, b), top row first."""
    frame_width, frame_height = -(-width // scale), -(-height // scale)
    with tempfile.TemporaryDirectory(prefix="noise-reference-") as folder:
        out = os.path.join(folder, "frame.raw")
        reference = session.start_wine(args.prefix, args.reference, [str(seed), str(moment), str(frame_width),
                                       str(frame_height), "Z:" + out.replace("/", "\\")], **QUIET)
        reference.expect_exit(EXIT_WAIT_S, "rendering the reference frame")
        raw = open(out, "rb").read()
    picture = []
    for y in range(height):
        start = 4 * frame_width * ((height - 1 - y) // scale)  # frame row 0 is the bottom one
        row = raw[start:start + 4 * frame_width]
        colours = [(row[k + 2], row[k + 1], row[k]) for k in range(0, len(row), 4)]
        picture.extend(colours[x // scale] for x in range(width))
    return picture


def check_saver_exact(session, args, width, height, seed, moment):
    scale = saver_scale(width, height)
    expected = reference_picture(session, args, seed, moment, width, height, scale)
    program = session.start_wine(args.prefix, args.saver, ["/s"], env={"NOISE_SAVER_MOMENT": f"{seed}:{moment}"},
                                 **QUIET)
    window = session.wait_window(program, SAVER_CAPTION, WINDOW_WAIT_S)
    if session.geometry(window) != (0, 0, width, height):
        raise Failure(f"the window is {session.geometry(window)} (x, y, width, height), not {width}x{height}")
    differing = ["all"]

    def shows_reference():
        shown = session.screenshot(window).pixels
        differing[0] = sum(a != b for a, b in zip(shown, expected)) + abs(len(shown) - len(expected))
        return differing[0] == 0
    try:
        session.wait_for(shows_reference, EXIT_WAIT_S, "the held frame")
    except Failure:
        raise Failure(f"{width}x{height}, seed {seed}, time {moment}, scale {scale}: "
                      f"{differing[0]} pixels differ from frame_reference's") from None
    session.key(window, "a")
    program.expect_exit(EXIT_WAIT_S, "after a key press")
    print(f"{width}x{height} at scale {scale}: seed {seed}, time {moment} shown pixel for pixel")


CHECKS = {"animation": check_animation, "no-drawdib": check_no_drawdib, "planted": check_planted,
          "screen-saver": check_screen_saver, "saver-show": check_saver_show, "saver-key": check_saver_key}


def run(args):
    if args.check.startswith("saver-") and not args.saver:
        raise Failure("--saver is required")
    if args.check == "saver-exact":
        if not args.reference:
            raise Failure("--reference is required")
        for (width, height), seed, moment in EXACT_MOMENTS:
            with Session(private_display=True, screen=f"{width}x{height}x24") as session:
                check_saver_exact(session, args, width, height, seed, moment)
        print("program_e2e.py saver-exact: passed")
        return 0
    with Session(private_display=args.check in ("screen-saver", "saver-show")) as session:
        CHECKS[args.check](session, args)
    print(f"program_e2e.py {args.check}: passed")
    return 0


def main():
    options = cli.parser("program_e2e.py", __doc__)
    options.add_argument("check", choices=sorted([*CHECKS, "saver-exact"]))
    options.add_argument("--prefix", required=True)
    options.add_argument("--program", required=True)
    options.add_argument("--planted")
    options.add_argument("--child")
    options.add_argument("--saver")
    options.add_argument("--reference")
    args = options.parse_args()
    return cli.main(f"program_e2e.py {args.check}", run, args)


if __name__ == "__main__":
    sys.exit(main())
