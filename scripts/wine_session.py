"""Starting and stopping Windows programs under Wine for the abuse tests.

Every process is started in its own session, so that it and whatever it
spawns share one process group whose id is the process id; stopping it
signals that group by id, with bounded waits. A private Xvfb is started
(and stopped the same way) when no DISPLAY is set.
"""

import os
import signal
import subprocess
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
WINE_RUN = ROOT / "scripts" / "wine-run"


class Failure(Exception):
    """A check failed; the message is the one line to print."""


def start_display():
    """Returns (display, process): the DISPLAY to use, and the Xvfb started
    for it, or None when one was already set."""
    if os.environ.get("DISPLAY"):
        return os.environ["DISPLAY"], None
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        start_new_session=True)
    os.close(write_fd)
    number = b""
    deadline = time.monotonic() + 15
    os.set_blocking(read_fd, False)
    while time.monotonic() < deadline and not number.endswith(b"\n"):
        try:
            chunk = os.read(read_fd, 16)
        except BlockingIOError:
            chunk = None
        if chunk == b"":
            break
        if chunk:
            number += chunk
        else:
            time.sleep(0.05)
    os.close(read_fd)
    if not number.strip():
        stop(xvfb)
        raise Failure("Xvfb did not start within 15 s")
    return ":" + number.decode().strip(), xvfb


def start_wine(prefix, program, args=(), display=None, stdout=None):
    """Starts PROGRAM under Wine in PREFIX through scripts/wine-run."""
    env = dict(os.environ)
    env["WINEDEBUG"] = "-all"
    if display:
        env["DISPLAY"] = display
    return subprocess.Popen([str(WINE_RUN), str(prefix), str(program), *map(str, args)],
                            env=env, stdout=stdout, stdin=subprocess.DEVNULL, start_new_session=True)


def wait(process, seconds):
    """The exit code, or None when PROCESS is still running after SECONDS."""
    try:
        return process.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        return None


def stop(process, grace=5):
    """Ends PROCESS and its process group, politely first; bounded."""
    if process is None:
        return
    for sig in (signal.SIGTERM, signal.SIGKILL):
        if process.poll() is not None:
            break
        try:
            os.killpg(process.pid, sig)
        except ProcessLookupError:
            break
        if wait(process, grace) is not None:
            break
    # Whatever else is left in the group (a wine-run shell waiting on a lock).
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass


def wait_for_wine_to_settle(prefix, seconds=15):
    """Waits, bounded, for the Wine server of PREFIX to shut its own
    services down, so that they do not lose the X display under them."""
    env = dict(os.environ, WINEPREFIX=str(Path(prefix).resolve()))
    waiter = subprocess.Popen(["wineserver", "-w"], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, start_new_session=True)
    if wait(waiter, seconds) is None:
        stop(waiter)


def linux_image(pid):
    """The command line of Linux process PID, or '' when it is gone."""
    try:
        return Path(f"/proc/{pid}/cmdline").read_bytes().replace(b"\0", b" ").decode(errors="replace")
    except OSError:
        return ""


def wait_for_image(process, name, seconds):
    """Waits until PROCESS runs the Windows program NAME: wine-run execs into
    Wine, which becomes the program under the same process id."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if process.poll() is not None:
            raise Failure(f"{name} ended during start-up with exit code {process.returncode}")
        if name.lower() in linux_image(process.pid).lower():
            return
        time.sleep(0.2)
    raise Failure(f"{name} did not start within {seconds} s")
