#!/usr/bin/env python3
"""End-to-end checks of noise-animation.exe under Wine on an X display.

  program_e2e.py animation|no-drawdib|planted --wine-run SCRIPT --prefix DIR --program EXE [--planted DLL]

animation:  the title shows the frame rate, the client area holds only
            palette colours and changes over time, Esc ends it with code 0.
no-drawdib: with msvfw32 disabled the program ends at once with code 0 and
            never shows a window.
planted:    a msvfw32.dll beside the program (native-first load order) is
            never loaded, and the program still runs.

Uses DISPLAY when set, otherwise a private Xvfb. Every wait is bounded and
every process started here is ended by its id.
"""
import argparse
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "scripts"))
import wine_session  # noqa: E402

TITLE = re.compile(r"^Noise animation [0-9]+\.[0-9]{2} fps$")
WINDOW_WAIT_S = 40     # Wine start-up plus the first rate interval of two seconds
EXIT_WAIT_S = 20
CLIENT_SIZE = (320, 200)
DEFAULT_OVERRIDES = "mscoree,mshtml="


class Failure(Exception):
    pass


def palette_colours():
    """The program's 256 colours: red = green = i, blue = round(255 sqrt(i / 255))."""
    return {(i, i, round(255 * math.sqrt(i / 255))) for i in range(256)}


def run(args, env, timeout=10):
    return subprocess.run(args, env=env, capture_output=True, timeout=timeout)


def find_windows(env):
    """Ids of visible X windows whose name starts with the program's caption."""
    result = run(["xdotool", "search", "--onlyvisible", "--name", "^Noise animation"], env)
    return [int(w) for w in result.stdout.split()]


def window_name(env, window):
    result = run(["xdotool", "getwindowname", str(window)], env)
    return result.stdout.decode(errors="replace").strip()


def screenshot(env, window):
    """The window's pixels as (width, height, list of (r, g, b))."""
    data = run(["import", "-window", str(window), "-depth", "8", "ppm:-"], env, timeout=20).stdout
    match = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
    if not match or match.group(3) != b"255":
        raise Failure("screenshot is not an 8-bit PPM")
    width, height = int(match.group(1)), int(match.group(2))
    raw = data[match.end():match.end() + 3 * width * height]
    if len(raw) != 3 * width * height:
        raise Failure("screenshot is truncated")
    return width, height, [tuple(raw[k:k + 3]) for k in range(0, len(raw), 3)]


def wait_for(predicate, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.25)
    raise Failure(f"timed out after {seconds} s waiting for {what}")


class Session:
    """The X display and the processes started here, ended on exit."""

    def __init__(self, args):
        self.args = args
        self.processes = []
        self.xvfb = None
        self.env = dict(os.environ)
        self.env["WINEDEBUG"] = "-all"
        self.env["WINEPREFIX"] = os.path.abspath(args.prefix)
        self.env.setdefault("WINEDLLOVERRIDES", DEFAULT_OVERRIDES)
        # DISPLAY when set, otherwise a private Xvfb (bounded start-up wait).
        self.env["DISPLAY"], self.xvfb = wine_session.start_display()

    def start_program(self, program, extra_env=None, cwd=None):
        env = dict(self.env)
        env.update(extra_env or {})
        process = subprocess.Popen([self.args.wine_run, self.args.prefix, program], env=env, cwd=cwd,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(process)
        return process

    def close(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                process.wait(timeout=EXIT_WAIT_S)
        wine_session.stop(self.xvfb)


def wait_exit(process):
    try:
        return process.wait(timeout=EXIT_WAIT_S)
    except subprocess.TimeoutExpired:
        raise Failure(f"the program did not end within {EXIT_WAIT_S} s")


def press_escape_and_expect_exit_zero(session, process, window):
    run(["xdotool", "key", "--window", str(window), "Escape"], session.env)
    code = wait_exit(process)
    if code != 0:
        raise Failure(f"exit code after Esc is {code}, not 0")


def open_window(session, process):
    """Waits for the program's window; fails early if the program ends."""
    def found():
        if process.poll() is not None:
            raise Failure(f"the program ended with code {process.returncode} before showing a window")
        windows = find_windows(session.env)
        return windows[0] if len(windows) == 1 else None
    return wait_for(found, WINDOW_WAIT_S, "the program's window")


def check_animation(session):
    process = session.start_program(session.args.program)
    window = open_window(session, process)
    title = wait_for(lambda: (lambda name: name if TITLE.match(name) else None)(window_name(session.env, window)),
                     WINDOW_WAIT_S, "a title with the frame rate")
    print(f"title: {title}")

    colours = palette_colours()
    width, height, first = screenshot(session.env, window)
    if (width, height) != CLIENT_SIZE:
        raise Failure(f"client area is {width}x{height}, not {CLIENT_SIZE[0]}x{CLIENT_SIZE[1]}")
    strangers = {p for p in first if p not in colours}
    if strangers:
        raise Failure(f"{len(strangers)} colours outside the palette, e.g. {sorted(strangers)[:3]}")
    if len(set(first)) < 16:
        raise Failure(f"only {len(set(first))} distinct colours: not the marble pattern")

    def changed():
        return screenshot(session.env, window)[2] != first
    wait_for(changed, 10, "the picture to change")
    press_escape_and_expect_exit_zero(session, process, window)


def check_no_drawdib(session):
    process = session.start_program(session.args.program,
                                    {"WINEDLLOVERRIDES": DEFAULT_OVERRIDES + ";msvfw32=d"})
    deadline = time.monotonic() + EXIT_WAIT_S
    while process.poll() is None and time.monotonic() < deadline:
        if find_windows(session.env):
            raise Failure("a window appeared although DrawDib is unavailable")
        time.sleep(0.1)
    code = wait_exit(process)
    if code != 0:
        raise Failure(f"exit code without DrawDib is {code}, not 0")
    print("ended at once with exit code 0 and no window")


def check_planted(session):
    if not session.args.planted:
        raise Failure("--planted is required")
    folder = tempfile.mkdtemp(prefix="noise-planted-")
    try:
        program = shutil.copy(session.args.program, folder)
        shutil.copy(session.args.planted, os.path.join(folder, "msvfw32.dll"))
        marker = os.path.join(folder, "planted.marker")
        windows_marker = "Z:" + marker.replace("/", "\\")
        process = session.start_program(program, {
            "WINEDLLOVERRIDES": DEFAULT_OVERRIDES + ";msvfw32=n,b",
            "NOISE_PLANTED_MARKER": windows_marker,
        }, cwd=folder)
        window = open_window(session, process)
        if os.path.exists(marker):
            raise Failure("the msvfw32.dll beside the program was loaded")
        press_escape_and_expect_exit_zero(session, process, window)
        if os.path.exists(marker):
            raise Failure("the msvfw32.dll beside the program was loaded")
        print("the planted library stayed unloaded; the program ran and ended with code 0")
    finally:
        shutil.rmtree(folder, ignore_errors=True)


CHECKS = {"animation": check_animation, "no-drawdib": check_no_drawdib, "planted": check_planted}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("check", choices=sorted(CHECKS))
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--planted")
    args = parser.parse_args()
    session = None
    try:
        session = Session(args)
        CHECKS[args.check](session)
    except (Failure, wine_session.Failure, subprocess.TimeoutExpired) as e:
        print(f"program_e2e.py {args.check}: {e}", file=sys.stderr)
        return 1
    finally:
        if session is not None:
            session.close()
    print(f"program_e2e.py {args.check}: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
