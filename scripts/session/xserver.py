"""The X side: a private Xvfb, and windows looked up, read, keyed, closed
and photographed through xdotool, ImageMagick's import, xset and libX11."""

import ctypes
import ctypes.util
import math
import os
import re
import signal
import subprocess
import sys
import time
from collections import namedtuple
from pathlib import Path

from .process import Failure, Program, run_tool

XVFB_SCREEN = "1024x768x24"
XVFB_SECONDS = 15
SCREENSHOT_SECONDS = 30

Image = namedtuple("Image", "width height pixels")
Image.__doc__ = "A screenshot: WIDTH x HEIGHT pixels as (r, g, b), top row first."


def palette_colours():
    """The program's 256 colours in palette order: red = green = i,
    blue = round(255 * sqrt(i / 255))."""
    return [(i, i, round(255 * math.sqrt(i / 255))) for i in range(256)]


def start_xvfb(seconds=XVFB_SECONDS, screen=XVFB_SCREEN):
    """Starts Xvfb with one SCREEN ("WIDTHxHEIGHTxDEPTH") on a free display
    number (-displayfd) and waits at most SECONDS for it. Returns (":N",
    Program)."""
    read_fd, write_fd = os.pipe()
    try:
        # -noreset: by default Xvfb resets when its last client leaves and
        # refuses connections meanwhile (8 of 200 back-to-back xdpyinfo runs
        # failed), so a program started just after another one ended could
        # not open the display.
        xvfb = Program(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", screen, "-nolisten", "tcp",
                        "-noreset"], stderr=subprocess.DEVNULL, pass_fds=(write_fd,))
    finally:
        os.close(write_fd)
    number = b""
    deadline = time.monotonic() + seconds
    os.set_blocking(read_fd, False)
    try:
        while time.monotonic() < deadline and not number.endswith(b"\n"):
            try:
                chunk = os.read(read_fd, 16)
            except BlockingIOError:
                time.sleep(0.05)
                continue
            if not chunk:
                break  # Xvfb ended
            number += chunk
    finally:
        os.close(read_fd)
    if not number.strip().isdigit():
        xvfb.stop()
        raise Failure(f"Xvfb did not start within {seconds:g} s")
    return ":" + number.decode().strip(), xvfb


def find_windows(env, title_regex, pid=None):
    """Ids of the visible windows whose name matches TITLE_REGEX, only those
    of process PID when given."""
    argv = ["xdotool", "search", "--onlyvisible"]
    if pid is not None:
        argv += ["--all", "--pid", str(pid)]
    result = run_tool(argv + ["--name", title_regex], env, check=False)
    return [int(w) for w in result.stdout.split()]


def window_name(env, window):
    return run_tool(["xdotool", "getwindowname", str(window)], env).stdout.decode(errors="replace").strip()


def send_key(env, window, key):
    run_tool(["xdotool", "key", "--window", str(window), key], env)


def geometry(env, window):
    """(x, y, width, height) of WINDOW."""
    text = run_tool(["xdotool", "getwindowgeometry", "--shell", str(window)], env).stdout.decode()
    values = dict(line.split("=", 1) for line in text.splitlines() if "=" in line)
    try:
        return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
    except (KeyError, ValueError):
        raise Failure(f"no geometry for window {window}") from None


def screenshot(env, window):
    """WINDOW's pixels as an Image."""
    data = run_tool(["import", "-window", str(window), "-depth", "8", "ppm:-"], env, SCREENSHOT_SECONDS).stdout
    match = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
    if not match or match.group(3) != b"255":
        raise Failure("the screenshot is not an 8-bit PPM")
    width, height = int(match.group(1)), int(match.group(2))
    raw = data[match.end():match.end() + 3 * width * height]
    if len(raw) != 3 * width * height:
        raise Failure("the screenshot is truncated")
    return Image(width, height, [tuple(raw[k:k + 3]) for k in range(0, len(raw), 3)])


def save_png(env, window, path):
    """Saves WINDOW as a PNG at PATH, whole or not at all."""
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    partial = path.with_name(f".{path.name}.partial")
    try:
        run_tool(["import", "-window", str(window), f"png:{partial}"], env, SCREENSHOT_SECONDS)
        os.replace(partial, path)
    finally:
        partial.unlink(missing_ok=True)


def xset_timeout(env):
    """The X screen saver's timeout in seconds, from `xset q`."""
    text = run_tool(["xset", "q"], env).stdout.decode(errors="replace")
    match = re.search(r"timeout:\s*(\d+)", text)
    if not match:
        raise Failure("xset q shows no screen-saver timeout")
    return int(match.group(1))


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _KeyEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("root", ctypes.c_ulong),
                ("subwindow", ctypes.c_ulong), ("time", ctypes.c_ulong), ("x", ctypes.c_int), ("y", ctypes.c_int),
                ("x_root", ctypes.c_int), ("y_root", ctypes.c_int), ("state", ctypes.c_uint),
                ("keycode", ctypes.c_uint), ("same_screen", ctypes.c_int)]


class _Event(ctypes.Union):
    # XEvent is a union padded to 24 longs.
    _fields_ = [("client", _ClientMessage), ("key", _KeyEvent), ("pad", ctypes.c_long * 24)]


def _open_x11(display):
    """libX11 with the calls used here typed, and a connection to DISPLAY."""
    name = ctypes.util.find_library("X11")
    if not name:
        raise Failure("libX11 is not installed")
    x11 = ctypes.CDLL(name)
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XStringToKeysym.restype = ctypes.c_ulong
    x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
    x11.XKeysymToKeycode.restype = ctypes.c_ubyte
    x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(_Event)]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    connection = x11.XOpenDisplay(display.encode())
    if not connection:
        raise Failure(f"cannot open X display {display}")
    return x11, connection


def hold_window(argv):
    """python3 -m session window WIDTH HEIGHT [input-only]: maps a WIDTH x
    HEIGHT window with a red background (no palette colour) on DISPLAY, or
    an InputOnly window (which has no pixels), prints its id and keeps it
    until the process is ended (the X server then destroys it): a window of
    another client for a program to draw in."""
    x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XCreateSimpleWindow.restype = ctypes.c_ulong
    x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 2 + \
        [ctypes.c_uint] * 3 + [ctypes.c_ulong] * 2
    x11.XCreateWindow.restype = ctypes.c_ulong
    x11.XCreateWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 2 + [ctypes.c_uint] * 3 + \
        [ctypes.c_int, ctypes.c_uint, ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p]
    x11.XMapWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    connection = x11.XOpenDisplay(None)
    sizes, kind = argv[:2], argv[2:]
    if len(sizes) != 2 or not all(a.isdigit() and int(a) > 0 for a in sizes) or kind not in ([], ["input-only"]) \
            or not connection:
        print("session window: needs WIDTH HEIGHT [input-only] and a display", file=sys.stderr)
        return 2
    root = x11.XDefaultRootWindow(connection)
    if kind:
        input_only, copy_from_parent = 2, 0  # the window class InputOnly; depth and visual CopyFromParent
        window = x11.XCreateWindow(connection, root, 0, 0, int(sizes[0]), int(sizes[1]), 0, copy_from_parent,
                                   input_only, None, 0, None)
    else:
        window = x11.XCreateSimpleWindow(connection, root, 0, 0, int(sizes[0]), int(sizes[1]), 0, 0, 0xFF0000)
    x11.XMapWindow(connection, window)
    x11.XSync(connection, 0)
    print(window, flush=True)
    while True:
        signal.pause()


def close_window(display, window):
    """Sends WINDOW the WM_DELETE_WINDOW request a window manager sends for
    its close button (there is no window manager on Xvfb)."""
    x11, connection = _open_x11(display)
    try:
        event = _Event()
        event.client.type = 33  # ClientMessage
        event.client.window = window
        event.client.message_type = x11.XInternAtom(connection, b"WM_PROTOCOLS", 0)
        event.client.format = 32
        event.client.data[0] = x11.XInternAtom(connection, b"WM_DELETE_WINDOW", 0)
        event.client.data[1] = 0  # CurrentTime
        if not x11.XSendEvent(connection, window, 0, 0, ctypes.byref(event)):
            raise Failure(f"cannot send the close request to window {window}")
        x11.XFlush(connection)
    finally:
        x11.XCloseDisplay(connection)


def key_storm(display, window, keys, seconds, rate):
    """Sends WINDOW a press and a release of each of KEYS (keysym names, as
    xdotool takes them), round after round for SECONDS, RATE keys a second
    (xdotool from a script sends a few hundred to a few thousand). Returns
    the number of keys sent."""
    x11, connection = _open_x11(display)
    try:
        codes = [x11.XKeysymToKeycode(connection, x11.XStringToKeysym(key.encode())) for key in keys]
        event = _Event()
        event.key.window = window
        event.key.same_screen = 1
        sent = 0
        start = time.monotonic()
        while time.monotonic() < start + seconds:
            for code in codes:
                for kind in (2, 3):  # KeyPress, KeyRelease
                    event.key.type = kind
                    event.key.keycode = code
                    x11.XSendEvent(connection, window, 0, 0, ctypes.byref(event))
            sent += len(codes)
            x11.XSync(connection, 0)  # one round at a time in the server
            time.sleep(max(0.0, start + sent / rate - time.monotonic()))
        return sent
    finally:
        x11.XCloseDisplay(connection)
