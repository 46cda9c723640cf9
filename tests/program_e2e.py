#!/usr/bin/env python3
"""End-to-end checks of noise-animation.exe under Wine on an X display.

  program_e2e.py animation|no-drawdib|planted --prefix DIR --program EXE [--planted DLL]

animation:  the title shows the frame rate, the client area holds only
            palette colours and changes over time, Esc ends it with code 0.
no-drawdib: with msvfw32 disabled the program ends at once with code 0 and
            never shows a window.
planted:    a msvfw32.dll beside the program (native-first load order) is
            never loaded, and the program still runs.

Uses DISPLAY when set, otherwise a private Xvfb.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

from session import Failure, Session, cli, palette_colours
from session.wine import DEFAULT_OVERRIDES

CAPTION = "^Noise animation"
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


def expect_exit_zero(program, after):
    code = program.wait(EXIT_WAIT_S)
    if code is None:
        raise Failure(f"the program did not end within {EXIT_WAIT_S} s")
    if code != 0:
        raise Failure(f"exit code {after} is {code}, not 0")


def check_animation(session, args):
    program = session.start_wine(args.prefix, args.program, **QUIET)
    window = open_window(session, program)
    print(f"title: {session.wait_title(window, RATE_TITLE, WINDOW_WAIT_S)}")

    colours = set(palette_colours())
    first = session.screenshot(window)
    if (first.width, first.height) != CLIENT_SIZE:
        raise Failure(f"client area is {first.width}x{first.height}, not {CLIENT_SIZE[0]}x{CLIENT_SIZE[1]}")
    strangers = {p for p in first.pixels if p not in colours}
    if strangers:
        raise Failure(f"{len(strangers)} colours outside the palette, e.g. {sorted(strangers)[:3]}")
    if len(set(first.pixels)) < 16:
        raise Failure(f"only {len(set(first.pixels))} distinct colours: not the marble pattern")

    session.wait_for(lambda: session.screenshot(window).pixels != first.pixels, 10, "the picture to change")
    session.key(window, "Escape")
    expect_exit_zero(program, "after Esc")


def check_no_drawdib(session, args):
    program = session.start_wine(args.prefix, args.program,
                                 env={"WINEDLLOVERRIDES": DEFAULT_OVERRIDES + ";msvfw32=d"}, **QUIET)
    deadline = time.monotonic() + EXIT_WAIT_S
    while program.poll() is None and time.monotonic() < deadline:
        if session.windows(CAPTION):
            raise Failure("a window appeared although DrawDib is unavailable")
        time.sleep(0.1)
    expect_exit_zero(program, "without DrawDib")
    print("ended at once with exit code 0 and no window")


def check_planted(session, args):
    if not args.planted:
        raise Failure("--planted is required")
    folder = tempfile.mkdtemp(prefix="noise-planted-")
    try:
        program_file = shutil.copy(args.program, folder)
        shutil.copy(args.planted, os.path.join(folder, "msvfw32.dll"))
        marker = os.path.join(folder, "planted.marker")
        program = session.start_wine(args.prefix, program_file, cwd=folder, env={
            "WINEDLLOVERRIDES": DEFAULT_OVERRIDES + ";msvfw32=n,b",
            "NOISE_PLANTED_MARKER": "Z:" + marker.replace("/", "\\"),
        }, **QUIET)
        window = open_window(session, program)
        if os.path.exists(marker):
            raise Failure("the msvfw32.dll beside the program was loaded")
        session.key(window, "Escape")
        expect_exit_zero(program, "after Esc")
        if os.path.exists(marker):
            raise Failure("the msvfw32.dll beside the program was loaded")
        print("the planted library stayed unloaded; the program ran and ended with code 0")
    finally:
        shutil.rmtree(folder, ignore_errors=True)


CHECKS = {"animation": check_animation, "no-drawdib": check_no_drawdib, "planted": check_planted}


def run(args):
    with Session(private_display=False) as session:
        CHECKS[args.check](session, args)
    print(f"program_e2e.py {args.check}: passed")
    return 0


def main():
    options = cli.parser("program_e2e.py", __doc__)
    options.add_argument("check", choices=sorted(CHECKS))
    options.add_argument("--prefix", required=True)
    options.add_argument("--program", required=True)
    options.add_argument("--planted")
    args = options.parse_args()
    return cli.main(f"program_e2e.py {args.check}", run, args)


if __name__ == "__main__":
    sys.exit(main())
