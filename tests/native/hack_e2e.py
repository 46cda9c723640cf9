#!/usr/bin/env python3
"""End-to-end checks of noise-animation as an X screen-saver hack.

  hack_e2e.py preview|daemon --program EXE --frame-tool EXE

preview: in a window another process made (the daemon's preview form, here
         spelt -root -window-id 0xID; 333x181, red beneath) with --seed 1
         --time 999 the window shows exactly noise-frame's picture at its
         size, also once the window is made 517x389; the window's
         destruction ends the hack with 0. With --window-id naming the
         1280x1024 root window it shows the 1280x1024 picture. With
         --root, the window in XSCREENSAVER_WINDOW (decimal) and --fps it
         draws the animation, the rate in the corner, and SIGTERM ends it
         by SIGTERM, the window left in place. A window that does not
         exist, and an InputOnly one, give exit code 1 and one line (a
         --root without a usable XSCREENSAVER_WINDOW: native_e2e.py
         refusals).
daemon:  the real xscreensaver, run as an unprivileged user with a scratch
         HOME listing only the hack: after xscreensaver-command --activate
         the whole screen shows the animation in palette colours; after
         --deactivate the hack has ended; with --seed 1 --time 999 added to
         its line the whole 1280x1024 screen shows noise-frame's picture;
         the daemon's log says nothing abnormal about the hack. Skipped
         (exit code 77) where the daemon is missing or no unprivileged user
         can run it.

Uses a private Xvfb (1280x1024).
"""
import os
import pwd
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from native_e2e import HELD, reference_frame
from session import Failure, Session, cli, wait_for
from session.process import run_tool

SKIPPED = 77
WAIT_S = 20
PREVIEW = (333, 181)  # no whole multiple of the 320x200 picture
RESIZED = (517, 389)
SCREEN = (1280, 1024)
QUIET = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}


def expect_held_picture(session, window, args, what):
    """Waits until WINDOW ("root" too) shows exactly noise-frame's HELD
    picture at the window's own size."""
    def same_picture():
        shot = session.screenshot(window)
        return shot.pixels == reference_frame(args.frame_tool, (shot.width, shot.height))
    session.wait_for(same_picture, WAIT_S, f"{what} to equal noise-frame {' '.join(HELD)} at its size")


def check_preview(session, args):
    # The daemon's settings preview names the window, here in the one-dash
    # spelling many settings files use.
    helper, window = session.start_window(PREVIEW)
    hack = session.start_native([args.program, "-root", "-window-id", hex(window), *HELD],
                                env={"XSCREENSAVER_WINDOW": "0x1"}, **QUIET)
    expect_held_picture(session, window, args, f"the {PREVIEW} window")
    subprocess.run(["xdotool", "windowsize", str(window), str(RESIZED[0]), str(RESIZED[1])], env=session.env,
                   check=True, timeout=WAIT_S)
    expect_held_picture(session, window, args, f"the window resized to {RESIZED}")
    helper.send_signal(signal.SIGTERM)
    hack.expect_exit(WAIT_S, "after its window was destroyed")
    print(f"-root -window-id {hex(window)} {' '.join(HELD)}: noise-frame's picture at {PREVIEW} and at "
          f"{RESIZED}; the window's destruction ended it with 0")

    root = int(re.search(r"Window id: (0x[0-9a-f]+)", run_tool(["xwininfo", "-root"], session.env).stdout.decode())
               .group(1), 16)
    hack = session.start_native([args.program, "--window-id", hex(root), *HELD], **QUIET)
    expect_held_picture(session, "root", args, f"the {SCREEN} root window")
    hack.send_signal(signal.SIGTERM)
    hack.expect_exit(WAIT_S, "after SIGTERM", code=-signal.SIGTERM)
    print(f"--window-id {hex(root)} (the root window): noise-frame's {SCREEN} picture")

    helper, window = session.start_window(PREVIEW)
    hack = session.start_native([args.program, "--root", "--fps"], env={"XSCREENSAVER_WINDOW": str(window)},
                                **QUIET)
    session.expect_animation(window, PREVIEW, WAIT_S)

    def rate_shown():
        # White digits on a black box in the top-left corner, once the first rate is in.
        shot = session.screenshot(window)
        corner = [shot.pixels[y * shot.width + x] for y in range(1, 5) for x in range(1, 30)]
        return shot.pixels[0] == (0, 0, 0) and (255, 255, 255) in corner
    session.wait_for(rate_shown, WAIT_S, "--fps to draw the rate in the corner")
    hack.send_signal(signal.SIGTERM)
    hack.expect_exit(WAIT_S, "after SIGTERM", code=-signal.SIGTERM)
    if subprocess.run(["xwininfo", "-id", str(window)], env=session.env, capture_output=True,
                      timeout=WAIT_S).returncode != 0:
        raise Failure("the hack took the window it was given with it")
    print("--root --fps with XSCREENSAVER_WINDOW: the animation; SIGTERM ended it by SIGTERM, "
          "the window stays its owner's")

    # Windows it cannot draw in (bad options and ids: native_e2e.py refusals).
    _, input_only = session.start_window(PREVIEW, input_only=True)
    for window, named in ((0x7ffffff, "no such window"), (input_only, "cannot be drawn in")):
        result = subprocess.run([args.program, "--window-id", hex(window)], env=session.env, capture_output=True,
                                timeout=WAIT_S)
        lines = result.stderr.decode(errors="replace").splitlines()
        if result.returncode != 1 or len(lines) != 1 or named not in lines[0] or hex(window) not in lines[0]:
            raise Failure(f"--window-id {hex(window)}: exit code {result.returncode} and {lines}, not 1 and a "
                          f"line naming the window and '{named}'")
        print(f"--window-id {hex(window)}: exit code 1: {lines[0]}")


def unprivileged_user():
    """The argv prefix that runs a command as an unprivileged user, and that
    user's (uid, gid); None when there is none to use."""
    if os.geteuid() != 0:
        return [], (os.getuid(), os.getgid())
    try:
        user = pwd.getpwnam("nobody")
    except KeyError:
        return None
    if shutil.which("setpriv") is None:
        return None
    return (["setpriv", f"--reuid={user.pw_uid}", f"--regid={user.pw_gid}", "--clear-groups", "--"],
            (user.pw_uid, user.pw_gid))


def hack_processes(path):
    """Ids of the processes whose command line names PATH."""
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            if str(path).encode() in (entry / "cmdline").read_bytes():
                found.append(int(entry.name))
        except OSError:
            pass
    return found


def write_settings(home, hack, options=""):
    # One mode, this hack only; nothing between the hack and the screen.
    (home / ".xscreensaver").write_text(
        "timeout:\t1:00:00\ncycle:\t0\nlock:\tFalse\nfade:\tFalse\nunfade:\tFalse\nsplash:\tFalse\n"
        "dpmsEnabled:\tFalse\nmode:\tone\nselected:\t0\n"
        f"programs:\t\"Noise animation\" {hack} --root {options} \\n\\\n\n")


def check_daemon(session, args):
    runner = unprivileged_user()
    if shutil.which("xscreensaver") is None or runner is None:
        print("SKIPPED: needs xscreensaver and, as root, the user nobody and setpriv")
        return SKIPPED
    as_user, (uid, gid) = runner
    home = Path(tempfile.mkdtemp(prefix="hack-home."))
    try:
        # The hack is copied where the unprivileged user can run it.
        hack = home / "noise-animation"
        shutil.copy(args.program, hack)
        write_settings(home, hack)
        log = home / "xscreensaver.log"
        os.chmod(home, 0o755)
        for path in (home, hack, home / ".xscreensaver"):
            os.chown(path, uid, gid)
        env = {"HOME": str(home)}
        session.start_native(as_user + ["xscreensaver", "--no-splash", "--log", str(log)], env=env, **QUIET)

        def command(verb):
            return subprocess.run(as_user + ["xscreensaver-command", verb], env={**session.env, **env},
                                  capture_output=True, timeout=WAIT_S).returncode == 0
        wait_for(lambda: command("--activate"), WAIT_S, "the daemon to take --activate")
        wait_for(lambda: hack_processes(hack), WAIT_S, "the daemon to start the hack")
        session.expect_animation("root", SCREEN, WAIT_S)
        print(f"--activate: the hack runs (pid {hack_processes(hack)}); the whole screen shows the animation")
        if not command("--deactivate"):
            raise Failure("xscreensaver-command --deactivate failed")
        wait_for(lambda: not hack_processes(hack), WAIT_S, "the hack to end after --deactivate")

        # The same hack holding one moment fills the screen with noise-frame's picture at its size.
        write_settings(home, hack, " ".join(HELD))
        wait_for(lambda: command("--activate"), WAIT_S, "the daemon to take --activate")
        expect_held_picture(session, "root", args, f"the {SCREEN} screen")
        print(f"--root {' '.join(HELD)}: the whole screen shows noise-frame's {SCREEN} picture")

        if not command("--deactivate"):
            raise Failure("xscreensaver-command --deactivate failed")
        wait_for(lambda: not hack_processes(hack), WAIT_S, "the hack to end after --deactivate")
        time.sleep(1)  # the daemon logs a child's end as it reaps it
        said = [line for line in log.read_text(errors="replace").splitlines() if "noise-animation" in line]
        bad = [line for line in said if re.search(r"abnormal|crash|core dump|status [1-9]|exited", line)]
        if bad:
            raise Failure(f"the daemon's log: {bad}")
        print("--deactivate: the hack ended; the daemon's log about it:\n  " + "\n  ".join(said))
    finally:
        session.close()
        shutil.rmtree(home, ignore_errors=True)
    return 0


def run(args):
    with Session(screen=f"{SCREEN[0]}x{SCREEN[1]}x24") as session:
        code = {"preview": check_preview, "daemon": check_daemon}[args.check](session, args) or 0
    if code == 0:
        print(f"hack_e2e.py {args.check}: passed")
    return code


def main():
    options = cli.parser("hack_e2e.py", __doc__)
    options.add_argument("check", choices=["preview", "daemon"])
    options.add_argument("--program", required=True)
    options.add_argument("--frame-tool", required=True)
    args = options.parse_args()
    return cli.main(f"hack_e2e.py {args.check}", run, args)


if __name__ == "__main__":
    sys.exit(main())
