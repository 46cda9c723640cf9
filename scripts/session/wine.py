"""Wine prefixes: created and booted once, before any program in them is
timed, and waited for when a session ends."""

import fcntl
import functools
import subprocess
from pathlib import Path

from .process import Failure, Program, wait_for

# No Mono or Gecko installer dialogs in a new prefix.
DEFAULT_OVERRIDES = "mscoree,mshtml="
BOOT_SECONDS = 300     # a new prefix takes about 15 s; a busy machine much longer
LOCK_SECONDS = BOOT_SECONDS + 60
SETTLE_SECONDS = 15
READY_MARK = ".noise-prefix-ready"  # written once the boot has finished
# Debian's 32-bit loader, which its `wine` wrapper prefers whenever it is
# installed, and the 64-bit one for kernels that cannot run 32-bit programs.
LOADER_32 = "/usr/lib/wine/wine"
LOADER_64 = "/usr/lib/wine/wine64"
PROBE_SECONDS = 30


@functools.cache
def runs_32bit():
    """True when this machine runs 32-bit Wine (the kernel can execute i386
    programs and 32-bit Wine is installed); asked once."""
    try:
        return subprocess.run([LOADER_32, "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=PROBE_SECONDS).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


def loader():
    """The Wine loader to start programs with: `wine` where 32-bit programs
    run, else the 64-bit loader, which runs only 64-bit Windows programs."""
    return "wine" if runs_32bit() else LOADER_64


def wine_env(base, prefix):
    """BASE with WINEPREFIX set to PREFIX, Wine's debug output off and the
    default DLL overrides unless BASE names its own."""
    env = dict(base)
    env["WINEPREFIX"] = str(prefix)
    if loader() != "wine":
        env["WINELOADER"] = loader()
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("WINEDLLOVERRIDES", DEFAULT_OVERRIDES)
    return env


def _finish(argv, env, seconds):
    program = Program(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    code = program.wait(seconds)
    if code is None:
        program.stop()
        raise Failure(f"{' '.join(argv)} did not finish within {seconds} s")
    return code


def prepare_prefix(prefix, env):
    """Creates and boots the Wine prefix PREFIX (wineboot -i, then waits for
    its Wine server to end) unless that has been done; one process at a time
    (flock on PREFIX.lock). Returns PREFIX as an absolute path."""
    prefix = Path(prefix).resolve()
    ready = prefix / READY_MARK
    if ready.exists():
        return prefix
    prefix.parent.mkdir(parents=True, exist_ok=True)
    with open(f"{prefix}.lock", "w") as lock:
        def locked():
            try:
                fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                return True
            except BlockingIOError:
                return False
        wait_for(locked, LOCK_SECONDS, f"the lock on {prefix}", interval=0.2)
        if not ready.exists():
            env = wine_env(env, prefix)
            code = _finish([loader(), "wineboot", "-i"], env, BOOT_SECONDS)
            if code != 0:
                raise Failure(f"wineboot -i failed in {prefix} with exit code {code}")
            _finish(["wineserver", "-w"], env, BOOT_SECONDS)
            ready.touch()
    return prefix


def settle(prefix, env, seconds=SETTLE_SECONDS):
    """Waits, bounded, for the Wine server of PREFIX to end, so that its
    services do not lose the X display under them."""
    waiter = Program(["wineserver", "-w"], env=wine_env(env, prefix), stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL)
    if waiter.wait(seconds) is None:
        waiter.stop()
