#!/usr/bin/env python3
"""End-to-end checks of noise-animation.scr under Wine on its own Xvfb.

  saver_e2e.py show|key --prefix DIR --saver SCR

show: /s covers the whole screen, shows only palette colours and a
      changing picture, leaves the X screen saver's timeout as it was, stays
      when the pointer moves two pixels and ends with code 0 when it moves
      far.
key:  /S (what a double-click passes) ends with code 0 on a key press.
"""
import subprocess
import sys

from session import Failure, Session, cli, palette_colours

CAPTION = "^Noise animation$"
SCREEN = (0, 0, 1024, 768)  # the session's Xvfb screen
WINDOW_WAIT_S = 40
EXIT_WAIT_S = 20
SAVER_TIMEOUT_S = 300
QUIET = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}


def xdotool(session, *args):
    return subprocess.run(["xdotool", *args], env=session.env, check=True, timeout=10,
                          capture_output=True).stdout.decode()


def pointer(session):
    values = dict(item.split(":") for item in xdotool(session, "getmouselocation").split()[:2])
    return int(values["x"]), int(values["y"])


def expect_exit_zero(program, after):
    code = program.wait(EXIT_WAIT_S)
    if code is None:
        raise Failure(f"the screen saver did not end within {EXIT_WAIT_S} s {after}")
    if code != 0:
        raise Failure(f"exit code {after} is {code}, not 0")


def check_show(session, args):
    session.prepare_prefix(args.prefix)
    # A client that stays connected, so that the X server does not reset
    # (and forget the timeout) between programs.
    session.start_native(["xprop", "-root", "-spy"], **QUIET)

    def timeout_set():
        subprocess.run(["xset", "s", str(SAVER_TIMEOUT_S)], env=session.env, check=True, timeout=10, **QUIET)
        return session.xset_timeout() == SAVER_TIMEOUT_S
    session.wait_for(timeout_set, 10, f"xset to set the screen-saver timeout to {SAVER_TIMEOUT_S} s")

    program = session.start_wine(args.prefix, args.saver, ["/s"], **QUIET)
    window = session.wait_window(program, CAPTION, WINDOW_WAIT_S)
    geometry = session.geometry(window)
    if geometry != SCREEN:
        raise Failure(f"the window is {geometry} (x, y, width, height), not the screen {SCREEN}")

    colours = set(palette_colours())
    first = session.wait_for(lambda: (lambda shot: shot if len(set(shot.pixels)) >= 16 else None)(
        session.screenshot(window)), 10, "the marble pattern on the screen")
    strangers = {p for p in first.pixels if p not in colours}
    if strangers:
        raise Failure(f"{len(strangers)} colours outside the palette, e.g. {sorted(strangers)[:3]}")
    session.wait_for(lambda: session.screenshot(window).pixels != first.pixels, 10, "the picture to change")
    timeout = session.xset_timeout()
    if timeout != SAVER_TIMEOUT_S:
        raise Failure(f"the X screen-saver timeout is {timeout} s while the screen saver runs, "
                      f"not {SAVER_TIMEOUT_S} s")

    x, y = pointer(session)
    xdotool(session, "mousemove", str(x + 2), str(y + 2))
    if program.wait(2) is not None:
        raise Failure(f"a move of two pixels ended the screen saver (exit code {program.poll()})")
    xdotool(session, "mousemove", str(x + 200), str(y + 150))
    expect_exit_zero(program, "after the mouse moved")
    print("full screen, palette colours only, changing, timeout kept; ended by a mouse move with code 0")


def check_key(session, args):
    program = session.start_wine(args.prefix, args.saver, ["/S"], **QUIET)
    window = session.wait_window(program, CAPTION, WINDOW_WAIT_S)
    if program.wait(1) is not None:
        raise Failure(f"the screen saver ended by itself with exit code {program.poll()}")
    session.key(window, "a")
    expect_exit_zero(program, "after a key press")
    print("ended by a key press with code 0")


CHECKS = {"show": check_show, "key": check_key}


def run(args):
    with Session(private_display=True) as session:
        CHECKS[args.check](session, args)
    print(f"saver_e2e.py {args.check}: passed")
    return 0


def main():
    options = cli.parser("saver_e2e.py", __doc__)
    options.add_argument("check", choices=sorted(CHECKS))
    options.add_argument("--prefix", required=True)
    options.add_argument("--saver", required=True)
    args = options.parse_args()
    return cli.main(f"saver_e2e.py {args.check}", run, args)


if __name__ == "__main__":
    sys.exit(main())
