"""Wine prefixes: created and booted once, before any program in them is
timed, held by one run at a time, and waited for when a session ends."""

import fcntl
import functools
import os
import subprocess
import tempfile
from pathlib import Path

from .process import Failure, Program, wait_for

# No Mono or Gecko installer dialogs in a new prefix.
DEFAULT_OVERRIDES = "mscoree,mshtml="
BOOT_SECONDS = 300     # a new prefix takes about 15 s; a busy machine much longer
LOCK_SECONDS = BOOT_SECONDS + 60
SETTLE_SECONDS = 15
READY_MARK = ".noise-prefix-ready"  # written once the boot has finished
# The prefixes the run that started this process holds, os.pathsep-separated.
CLAIMS_VARIABLE = "NOISE_WINE_PREFIXES_HELD"
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
    """Exit code of ARGV, and the last line it wrote on stderr."""
    with tempfile.TemporaryFile() as errors:
        program = Program(argv, env=env, stdout=subprocess.DEVNULL, stderr=errors)
        code = program.wait(seconds)
        if code is None:
            program.stop()
            raise Failure(f"{' '.join(argv)} did not finish within {seconds} s")
        errors.seek(0)
        lines = errors.read().decode(errors="replace").strip().splitlines()
    return code, lines[-1] if lines else ""


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
            code, said = _finish([loader(), "wineboot", "-i"], env, BOOT_SECONDS)
            if code != 0:
                raise Failure(f"wineboot -i failed in {prefix} with exit code {code}" + (f": {said}" if said else ""))
            _finish(["wineserver", "-w"], env, BOOT_SECONDS)
            ready.touch()
    return prefix


def claim_prefix(prefix, env):
    """Holds PREFIX for this run and the processes it starts, recording the
    hold in ENV: two runs in one prefix share its Wine server, where each
    finds the other's windows by their titles. Returns the open lock file,
    to be kept while the run lasts, or None when ENV shows that an enclosing
    run already holds PREFIX; raises Failure when another run holds it."""
    prefix = Path(prefix).resolve()
    held = [p for p in env.get(CLAIMS_VARIABLE, "").split(os.pathsep) if p]
    if str(prefix) in held:
        return None
    prefix.parent.mkdir(parents=True, exist_ok=True)
    lock = open(f"{prefix}.in-use", "a+")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        lock.seek(0)
        holder = lock.read().strip() or "another process"
        lock.close()
        raise Failure(f"the Wine prefix {prefix} is in use by another run ({holder}), whose windows this one "
                      f"would mistake for its own: wait for it to end, or give this run its own prefix") from None
    lock.truncate(0)
    lock.write(f"process {os.getpid()}\n")
    lock.flush()
    env[CLAIMS_VARIABLE] = os.pathsep.join([*held, str(prefix)])
    return lock


def settle(prefix, env, seconds=SETTLE_SECONDS):
    """Waits, bounded, for the Wine server of PREFIX to end, so that its
    services do not lose the X display under them."""
    waiter = Program(["wineserver", "-w"], env=wine_env(env, prefix), stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL)
    if waiter.wait(seconds) is None:
        waiter.stop()
