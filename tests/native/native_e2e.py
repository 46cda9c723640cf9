#!/usr/bin/env python3
"""End-to-end checks of the native noise-animation (SDL2) on an X display.

  native_e2e.py window|refusals|input|soak --program EXE [--frame-tool EXE] [--seconds S]

window:   the title shows the frame rate, the picture holds only palette
          colours and changes, Esc ends it with 0; with --seed 1 --time 999
          --size 1024x640 the window has make_icon.py's icon, and at every
          size it takes (--size, resized from outside, keys 1, 2 and 4,
          F11 and Alt+Enter in and out of full screen) the picture equals
          noise-frame's at that size; a window manager's close request
          ends it with 0.
refusals: bad options (one-dash spellings of the hack's options
          included) give exit code 2 and one line; no display, one
          that cannot be reached, one that accepts and never answers or
          answers junk, or Wayland without XDG_RUNTIME_DIR, exit code 1
          and one line; nothing is written.
input:    SIGTERM during start-up on a display that never answers ends
          the program by SIGTERM; after a storm of zoom and other keys for
          S seconds (default 60) Esc still ends
          it and resident memory has not doubled; SIGINT while it runs
          ends it by SIGINT; an X server that ends under the window or the
          hack ends it with 1 and one line naming the display.
soak:     over S seconds (default 60) resident memory, descriptors, threads
          and the X resources of the program stay flat after warm-up, and
          once it has ended the X server has no client of it left.

Uses DISPLAY when set, otherwise a private Xvfb.
"""
import contextlib
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

import soak_figures as sf
from session import Failure, Session, cli, wait_for
from session.process import run_tool

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "resources"))
import make_icon  # noqa: E402  (the icon's own drawing)

CAPTION = "^Noise animation"
RATE_TITLE = r"^Noise animation [0-9]+\.[0-9]{2} fps$"
WINDOW_WAIT_S = 20
EXIT_WAIT_S = 20
PICTURE_WAIT_S = 10
PICTURE = (320, 200)
HACK_WINDOW = (333, 181)  # a window given to the hack
STORM_RATE = 3000  # keys a second: a script's xdotool at machine speed
HELD = ["--seed", "1", "--time", "999"]
QUIET = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}


def check_animation(session, args):
    program = session.start_native([args.program], **QUIET)
    window = session.wait_window(program, CAPTION, WINDOW_WAIT_S)
    print(f"title: {session.wait_title(window, RATE_TITLE, WINDOW_WAIT_S)}")
    session.expect_animation(window, PICTURE, PICTURE_WAIT_S)
    session.key(window, "Escape")
    program.expect_exit(EXIT_WAIT_S, "after Esc")


def reference_frame(frame_tool, size):
    """noise-frame's picture for HELD at SIZE (width, height), top row first,
    as (r, g, b) tuples."""
    data = run_tool([frame_tool, *HELD, "--size", f"{size[0]}x{size[1]}", "--format", "ppm"]).stdout
    match = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
    if not match or (int(match.group(1)), int(match.group(2))) != tuple(size):
        raise Failure(f"noise-frame did not write a {size[0]}x{size[1]} PPM")
    raw = data[match.end():]
    return [tuple(raw[k:k + 3]) for k in range(0, 3 * size[0] * size[1], 3)]


def expect_held_picture(session, window, frame_tool, references, what):
    """Waits until WINDOW shows exactly noise-frame's HELD picture at the
    window's own size; only the part on the screen has pixels, and a
    screenshot holds only that part. REFERENCES caches pictures by size."""
    screen_width, screen_height = session.screen_size()

    def same_picture():
        x, y, width, height = session.geometry(window)
        left, top = max(0, -x), max(0, -y)
        right, bottom = min(width, screen_width - x), min(height, screen_height - y)
        if (width, height) not in references:
            references[width, height] = reference_frame(frame_tool, (width, height))
        expected = references[width, height]
        shot = session.screenshot(window)
        return (shot.width, shot.height) == (right - left, bottom - top) and \
            shot.pixels == [expected[y * width + x] for y in range(top, bottom) for x in range(left, right)]
    session.wait_for(same_picture, PICTURE_WAIT_S, f"the picture {what} to equal noise-frame {' '.join(HELD)} "
                     "at the window's size")


def check_sizes(session, args):
    """The held picture at every size the window takes: --size, a resize from
    outside, the zoom keys (also the last one chosen, after a resize), full
    screen and back."""
    screen = session.screen_size()

    def centred(width, height):
        return ((screen[0] - width) // 2, (screen[1] - height) // 2, width, height)
    steps = [
        # (what is done: a key, or a size set from outside; the client area after it; None: not looked at)
        (None, centred(1024, 640)),
        ((800, 500), (None, None, 800, 500)),
        ("2", centred(640, 400)),
        ("4", centred(1280, 800)),
        ("1", centred(320, 200)),
        ((500, 300), (None, None, 500, 300)),
        ("1", centred(320, 200)),
        ("F11", (0, 0, *screen)),
        ("F11", centred(320, 200)),
        ("alt+Return", (0, 0, *screen)),
        ("2", centred(640, 400)),
    ]
    program = session.start_native([args.program, *HELD, "--size", "1024x640"], **QUIET)
    window = session.wait_window(program, CAPTION, WINDOW_WAIT_S)
    check_icon(session, window)
    references = {}
    for action, area in steps:
        if isinstance(action, tuple):
            run_tool(["xdotool", "windowsize", str(window), *map(str, action)], session.env)
            what = f"after a resize to {action[0]}x{action[1]}"
        else:
            what = f"after key {action}" if action else "at --size 1024x640"
            if action:
                session.key(window, action)
        session.wait_for(lambda: all(want in (None, got) for want, got in zip(area, session.geometry(window))),
                         PICTURE_WAIT_S, f"a client area {area} {what}, last {session.geometry(window)}")
        expect_held_picture(session, window, args.frame_tool, references, what)
        print(f"{what}: client area {session.geometry(window)}, the picture noise-frame draws at that size")
    session.close_window(window)
    program.expect_exit(EXIT_WAIT_S, "after a close request")


def check_icon(session, window):
    """The window's _NET_WM_ICON is the icon make_icon.py draws."""
    text = run_tool(["xprop", "-id", str(window), "-notype", "32c", "_NET_WM_ICON"], session.env).stdout.decode()
    values = [int(v) for v in re.findall(r"\d+", text.split("=", 1)[-1])]
    size = make_icon.WINDOW_ICON_SIZE
    if values != [size, size, *make_icon.argb_pixels(size)]:
        raise Failure(f"the window's icon is not make_icon.py's {size}x{size} icon: {text[:80]!r}")
    print(f"_NET_WM_ICON: make_icon.py's {size}x{size} icon")


def check_window(session, args):
    check_animation(session, args)
    check_sizes(session, args)


def free_display():
    """A display name no X server listens on."""
    number = 400
    while os.path.exists(f"/tmp/.X11-unix/X{number}") or os.path.exists(f"/tmp/.X{number}-lock"):
        number += 1
    return f":{number}"


@contextlib.contextmanager
def mute_display(answer=b""):
    """A display name for a TCP listener on the loopback that accepts every
    connection, sends ANSWER and then nothing more; yields (name, an Event
    set once a client has connected)."""
    server = socket.socket()
    number = 600  # above free_display's numbers, whose Unix sockets Xlib also tries on TCP
    while True:
        try:
            server.bind(("127.0.0.1", 6000 + number))
            break
        except OSError:
            number += 1
    server.listen()
    server.settimeout(0.2)
    connected, done, clients = threading.Event(), threading.Event(), []

    def serve():
        while not done.is_set():
            try:
                client, _ = server.accept()
            except OSError:
                continue
            clients.append(client)
            client.sendall(answer)
            connected.set()
    thread = threading.Thread(target=serve)
    thread.start()
    try:
        yield f"127.0.0.1:{number}", connected
    finally:
        done.set()
        thread.join()
        for client in clients:
            client.close()
        server.close()


def check_refusals(args):
    no_display = {k: v for k, v in os.environ.items()
                  if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "XDG_RUNTIME_DIR")}
    unreachable = dict(no_display, DISPLAY=free_display())
    with mute_display() as (silent, _), mute_display(b"\x01junk" * 64) as (junk, _), \
            tempfile.TemporaryDirectory(prefix="noise-native-") as scratch:
        cases = [
            (["--zoom", "3"], os.environ, 2, "--zoom"),
            (["-s", "1", "--zoom", "3"], os.environ, 2, "--zoom"),
            (["--seed", "12x"], os.environ, 2, "--seed"),
            (["--time", "4294967296"], os.environ, 2, "--time"),
            (["--time"], os.environ, 2, "--time"),
            (["--zoom", "2", "--zoom", "4"], os.environ, 2, "--zoom"),
            (["--frames", "2"], os.environ, 2, "--frames"),
            (["--delay", "10000001"], os.environ, 2, "--delay"),
            (["--window-id", "0"], os.environ, 2, "--window-id"),
            (["--fps=1"], os.environ, 2, "--fps"),
            (["-root"], dict(os.environ, XSCREENSAVER_WINDOW=""), 2, "XSCREENSAVER_WINDOW"),
            (["-rot"], os.environ, 2, "'-rot'"),
            (["-s1", "-zq"], os.environ, 2, "--zoom"),
            (["-window-id", "0"], os.environ, 2, "--window-id"),
            (["-delay=10000001"], os.environ, 2, "--delay"),
            (["-fps=1"], os.environ, 2, "--fps"),
            (["--size", "640x0"], os.environ, 2, "--size"),
            (["--size", "16385x2"], os.environ, 2, "--size"),
            (["--size", "640x400", "--zoom", "2"], os.environ, 2, "--zoom"),
            (["--fullscreen", "--root"], os.environ, 2, "--fullscreen"),
            (["-root", "-window-id", "0x400001", "-delay", "5", "-fps"], no_display, 1, "DISPLAY"),
            (["--window-id", "0x400001"], no_display, 1, "DISPLAY"),
            (["--root"], dict(os.environ, XSCREENSAVER_WINDOW=""), 2, "XSCREENSAVER_WINDOW"),
            (["--root"], dict(os.environ, XSCREENSAVER_WINDOW="0xzz"), 2, "'0xzz'"),
            ([], no_display, 1, "DISPLAY"),
            (HELD, unreachable, 1, unreachable["DISPLAY"]),
            (HELD, dict(no_display, DISPLAY=silent), 1, silent),
            (HELD, dict(no_display, DISPLAY=junk), 1, junk),
            (HELD, dict(no_display, WAYLAND_DISPLAY="noise-wayland"), 1, "XDG_RUNTIME_DIR"),
        ]
        for options, env, code, named in cases:
            what = " ".join(options) or "(no options)"
            try:
                result = subprocess.run([args.program, *options], env=env, cwd=scratch, stdin=subprocess.DEVNULL,
                                        capture_output=True, timeout=EXIT_WAIT_S)
            except subprocess.TimeoutExpired:
                raise Failure(f"{what}: still running after {EXIT_WAIT_S} s (DISPLAY={env.get('DISPLAY')})") from None
            said = result.stderr.decode(errors="replace")
            lines = said.splitlines()
            if result.returncode != code:
                raise Failure(f"{what}: exit code {result.returncode}, not {code}")
            if len(lines) != 1 or not lines[0].startswith("noise-animation: ") or named not in lines[0]:
                raise Failure(f"{what}: stderr is not one line naming {named}: {said!r}")
            if result.stdout:
                raise Failure(f"{what}: wrote to standard output")
            print(f"{what}: exit code {code}: {lines[0]}")
        if os.listdir(scratch):
            raise Failure(f"files left behind: {os.listdir(scratch)}")
    version = subprocess.run([args.program, "--version"], capture_output=True, timeout=EXIT_WAIT_S)
    if version.returncode != 0 or not re.fullmatch(rb"noise-animation \d+\.\d+\.\d+\n", version.stdout):
        raise Failure(f"--version: exit code {version.returncode}, printed {version.stdout!r}")
    with open("/dev/full", "wb") as full:
        result = subprocess.run([args.program, "--help"], stdout=full, stderr=subprocess.PIPE, timeout=EXIT_WAIT_S)
    said = result.stderr.decode(errors="replace")
    if result.returncode == 0 or len(said.splitlines()) != 1 or "standard output" not in said:
        raise Failure(f"--help to a full device: exit code {result.returncode}, stderr {said!r}")
    print(f"--version: {version.stdout.decode().strip()}; --help to a full device: {said.strip()}")


def expect_signal_death(program, number, after):
    """PROGRAM ends by signal NUMBER within EXIT_WAIT_S, as the default action
    of that signal would end it."""
    program.expect_exit(EXIT_WAIT_S, after, code=-number)


def check_input(session, args):
    with mute_display() as (silent, connected):
        program = session.start_native([args.program], env={"DISPLAY": silent}, **QUIET)
        wait_for(connected.is_set, WINDOW_WAIT_S, "the program to connect to the mute display")
        program.send_signal(signal.SIGTERM)
        expect_signal_death(program, signal.SIGTERM, "after SIGTERM during start-up")
    print("SIGTERM while the display does not answer: ended by SIGTERM")

    program = session.start_native([args.program], **QUIET)
    window = session.wait_window(program, CAPTION, WINDOW_WAIT_S)
    session.key(window, "4")
    session.wait_for(lambda: session.geometry(window)[2] == 4 * PICTURE[0], PICTURE_WAIT_S, "zoom 4")
    session.expect_animation(window, None, PICTURE_WAIT_S)  # frames of that size drawn
    rss_before = sf.read_linux_status(program.pid)["rss"]
    sent = session.key_storm(window, ["1", "2", "4", "a", "Right", "2", "space", "4"], args.seconds, STORM_RATE)
    rss_after = sf.read_linux_status(program.pid)["rss"]
    session.key(window, "Escape")
    program.expect_exit(EXIT_WAIT_S, f"after Esc that followed {sent} keys")
    if rss_after > 2 * rss_before:
        raise Failure(f"resident memory grew from {rss_before} to {rss_after} bytes during the key storm")
    print(f"{sent} keys in {args.seconds:.0f} s, then Esc: exit code 0; "
          f"resident memory {rss_before / 2**20:.1f} -> {rss_after / 2**20:.1f} MiB")

    program = session.start_native([args.program], **QUIET)
    session.wait_window(program, CAPTION, WINDOW_WAIT_S)
    program.send_signal(signal.SIGINT)
    expect_signal_death(program, signal.SIGINT, "after SIGINT")
    print("SIGINT while running: ended by SIGINT")
    check_lost_display(args)


def check_lost_display(args):
    """The own window and the hack, each on an X server that then ends: one
    line of the program's own naming the display, and exit code 1."""
    for what in ("own window", "hack"):
        with Session() as session, tempfile.TemporaryFile() as said:
            if what == "hack":
                _, window = session.start_window(HACK_WINDOW)
                program = session.start_native([args.program, "-root", "-window-id", hex(window)],
                                               stdout=subprocess.DEVNULL, stderr=said)
            else:
                program = session.start_native([args.program], stdout=subprocess.DEVNULL, stderr=said)
                window = session.wait_window(program, CAPTION, WINDOW_WAIT_S)
            session.expect_animation(window, None, PICTURE_WAIT_S)
            session.end_display()
            program.expect_exit(EXIT_WAIT_S, "after its X server ended", code=1)
            said.seek(0)
            lines = said.read().decode(errors="replace").splitlines()
            expected = f"noise-animation: lost the connection to the display DISPLAY='{session.display}'"
            if lines != [expected]:
                raise Failure(f"{what}: the X server ended, and it said {lines}, not [{expected!r}]")
            print(f"{what}, its X server ended: exit code 1: {lines[0]}")


def x_clients(session):
    report = run_tool(["xrestop", "-display", session.display, "-b", "-m", "1"], session.env).stdout
    return sf.parse_xrestop(report.decode(errors="replace"))


def check_soak(session, args):
    interval = 5.0
    warmup_ms = 15000
    before = len(x_clients(session))
    program = session.start_native([args.program], **QUIET)
    session.wait_window(program, CAPTION, WINDOW_WAIT_S)
    started = time.monotonic()
    rows = []
    while True:
        elapsed = time.monotonic() - started
        row = sf.read_linux_status(program.pid)
        if row is None or program.poll() is not None:
            raise Failure("the program ended during the soak")
        row["ms"] = int(elapsed * 1000)
        row["x_resources"], _ = sf.x_resources(x_clients(session), program.pid)
        rows.append(row)
        if elapsed >= args.seconds:
            break
        time.sleep(max(0.0, started + interval * len(rows) - time.monotonic()))
    if not any(row["x_resources"] for row in rows):
        raise Failure("xrestop never showed the program's X client")
    failures = []
    for metric, memory in (("rss", True), ("fds", False), ("threads", False), ("x_resources", False)):
        verdict, text = sf.judge_flat(rows, metric, warmup_ms, memory)
        print(f"{text} over {rows[-1]['ms'] / 1000:.0f} s")
        if verdict != "flat":
            failures.append(text)
    if failures:
        raise Failure("; ".join(failures))
    windows = session.windows(CAPTION)
    session.key(windows[0], "Escape")
    program.expect_exit(EXIT_WAIT_S, "after Esc")
    clients = session.wait_for(lambda: (lambda c: c if len(c) <= before else None)(x_clients(session)),
                               EXIT_WAIT_S, f"the X clients to fall back to {before}")
    if any(c["pid"] == program.pid for c in clients):
        raise Failure("the ended program still has an X client")
    print(f"X clients: {before} before, {len(clients)} after")


def run(args):
    if args.check == "refusals":
        check_refusals(args)
    else:
        if args.check == "window" and not args.frame_tool:
            raise Failure("--frame-tool is required")
        checks = {"window": check_window, "input": check_input, "soak": check_soak}
        with Session(private_display=False) as session:
            checks[args.check](session, args)
    print(f"native_e2e.py {args.check}: passed")
    return 0


def main():
    options = cli.parser("native_e2e.py", __doc__)
    options.add_argument("check", choices=("input", "refusals", "soak", "window"))
    options.add_argument("--program", required=True)
    options.add_argument("--frame-tool")
    options.add_argument("--seconds", type=float, default=60.0)
    args = options.parse_args()
    args.program = os.path.abspath(args.program)
    return cli.main(f"native_e2e.py {args.check}", run, args)


if __name__ == "__main__":
    sys.exit(main())
