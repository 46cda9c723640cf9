#!/usr/bin/env python3
"""End-to-end checks of noise-animation as an X screen-saver hack.

  hack_e2e.py preview|daemon --program EXE

preview: in a window another process made (the daemon's preview form,
         --root --window-id 0xID; 333x181, red beneath) the picture
         covers the window in palette colours only and changes, also once
         the window is made 517x389; the window's destruction ends the hack
         with 0. With --root, the window in XSCREENSAVER_WINDOW (decimal)
         and --fps it draws there too, the rate in the corner, and SIGTERM ends it by SIGTERM, the
         window left in place. A window that does not exist gives exit
         code 1 and one line (a --root without a usable
         XSCREENSAVER_WINDOW: native_e2e.py refusals).
daemon:  the real xscreensaver, run as an unprivileged user with a scratch
         HOME listing only the hack: after xscreensaver-command --activate
         the whole screen shows the animation in palette colours; after
         --deactivate the hack has ended and the daemon's log says nothing
         abnormal about it. Skipped (exit code 77) where the daemon is
         missing or no unprivileged user can run it.

Uses a private Xvfb (1024x768).
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

from session import Failure, Session, cli, wait_for

SKIPPED = 77
WAIT_S = 20
PREVIEW = (333, 181)  # no whole multiple of the 320x200 picture
RESIZED = (517, 389)
SCREEN = (1024, 768)
QUIET = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}


def check_preview(session, args):
    helper, window = session.start_window(PREVIEW)
    hack = session.start_native([args.program, "--root", "--window-id", hex(window)],
                                env={"XSCREENSAVER_WINDOW": "0x1"}, **QUIET)
    session.expect_animation(window, PREVIEW, WAIT_S)
    subprocess.run(["xdotool", "windowsize", str(window), str(RESIZED[0]), str(RESIZED[1])], env=session.env,
                   check=True, timeout=WAIT_S)
    # The newly exposed part shows red until the hack's next frame covers it.
    session.wait_for(lambda: (255, 0, 0) not in session.screenshot(window).pixels, WAIT_S,
                     "the picture to cover the resized window")
    session.expect_animation(window, RESIZED, WAIT_S)
    helper.send_signal(signal.SIGTERM)
    hack.expect_exit(WAIT_S, "after its window was destroyed")
    print(f"--root --window-id {hex(window)}: palette-only changing picture over {PREVIEW} and {RESIZED}; "
          "the window's destruction ended it with 0")

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

    # A window id that names no window on the display (bad options and ids:
    # native_e2e.py refusals).
    result = subprocess.run([args.program, "--window-id", "0x7ffffff"], env=session.env, capture_output=True,
                            timeout=WAIT_S)
    lines = result.stderr.decode(errors="replace").splitlines()
    if result.returncode != 1 or len(lines) != 1 or "no such window" not in lines[0]:
        raise Failure(f"--window-id 0x7ffffff: exit code {result.returncode} and {lines}, not 1 and a line "
                      "naming 'no such window'")
    print(f"--window-id 0x7ffffff: exit code 1: {lines[0]}")


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


def write_settings(home, hack):
    # One mode, this hack only; nothing between the hack and the screen.
    (home / ".xscreensaver").write_text(
        "timeout:\t1:00:00\ncycle:\t0\nlock:\tFalse\nfade:\tFalse\nunfade:\tFalse\nsplash:\tFalse\n"
        "dpmsEnabled:\tFalse\nmode:\tone\nselected:\t0\n"
        f"programs:\t\"Noise animation\" {hack} --root \\n\\\n\n")


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
    with Session() as session:
        code = {"preview": check_preview, "daemon": check_daemon}[args.check](session, args) or 0
    if code == 0:
        print(f"hack_e2e.py {args.check}: passed")
    return code


def main():
    options = cli.parser("hack_e2e.py", __doc__)
    options.add_argument("check", choices=["preview", "daemon"])
    options.add_argument("--program", required=True)
    args = options.parse_args()
    return cli.main(f"hack_e2e.py {args.check}", run, args)


if __name__ == "__main__":
    sys.exit(main())
