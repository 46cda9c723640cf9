"""What the command-line tools share: the repository root, one way to parse
arguments and to report a failure, the build step, and the two entry points
shell scripts use (a private display around a command; Wine as CMake's
emulator)."""

import argparse
import functools
import os
import signal
import subprocess
import sys
from pathlib import Path

from . import wine
from .core import Session
from .process import Failure

ROOT = Path(__file__).resolve().parents[2]
# The Windows build the tools run (WINDOWS_PRESET, WIN32_BUILD, WIN32_PREFIX):
# the 32-bit product where 32-bit programs run, else the 64-bit build of the
# same sources under 64-bit Wine. Chosen on first use, with one line on
# stderr when it is the 64-bit one.
_WINDOWS_NAMES = ("WINDOWS_PRESET", "WIN32_BUILD", "WIN32_PREFIX")


@functools.cache
def _windows_build():
    preset = "win32" if wine.runs_32bit() else "win64"
    if preset == "win64":
        print("note: this machine cannot run 32-bit programs; using the 64-bit Windows build "
              "(build/win64) under 64-bit Wine", file=sys.stderr, flush=True)
    build = ROOT / "build" / preset
    return dict(zip(_WINDOWS_NAMES, (preset, build, build / "wineprefix")))


def __getattr__(name):
    if name in _WINDOWS_NAMES:
        return _windows_build()[name]
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


def parser(prog, doc):
    """An ArgumentParser named PROG whose help shows the module text DOC."""
    return argparse.ArgumentParser(prog=prog, description=doc,
                                   formatter_class=argparse.RawDescriptionHelpFormatter)


def whole_number(low, high):
    """An argparse type: a whole number from LOW to HIGH."""
    def parse(text):
        if not text.isdigit() or not low <= int(text) <= high:
            raise argparse.ArgumentTypeError(f"must be a whole number from {low} to {high}, not '{text}'")
        return int(text)
    return parse


def main(prog, body, *args):
    """Runs BODY(*ARGS) and returns its exit code; a Failure is printed as
    "PROG: FAIL: message" on stderr and gives 1. SIGTERM (a test runner's
    time-out) unwinds like Ctrl-C, so every process started is stopped."""
    def terminate(signum, frame):
        raise KeyboardInterrupt
    signal.signal(signal.SIGTERM, terminate)
    try:
        return body(*args)
    except Failure as failure:
        print(f"{prog}: FAIL: {failure}", file=sys.stderr, flush=True)
        return 1
    except KeyboardInterrupt:
        print(f"{prog}: interrupted", file=sys.stderr, flush=True)
        return 130


def build(preset, *targets):
    """Installs what is missing, configures PRESET when it has not been and
    builds TARGETS; raises Failure when a step fails."""
    steps = [[str(ROOT / "scripts" / "bootstrap")]]
    if not (ROOT / "build" / preset / "build.ninja").exists():
        steps.append(["cmake", "--preset", preset])
    steps.append(["cmake", "--build", "--preset", preset, "--target", *targets])
    for step in steps:
        if subprocess.run(step, cwd=ROOT, stdout=subprocess.DEVNULL).returncode != 0:
            raise Failure(f"{' '.join(step)} failed")


def with_display(argv):
    """python3 -m session xvfb [--prefix PREFIX]... -- COMMAND...: runs
    COMMAND with DISPLAY set to a private Xvfb and returns its exit code.
    Each PREFIX is prepared before COMMAND starts and its Wine server waited
    for before the Xvfb stops."""
    options = parser("session xvfb", with_display.__doc__)
    options.add_argument("--prefix", action="append", default=[])
    options.add_argument("command", nargs=argparse.REMAINDER)
    args = options.parse_args(argv)
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        options.error("no command given")

    def body():
        with Session(private_display=True) as session:
            for prefix in args.prefix:
                session.prepare_prefix(prefix)
            # The command stays in this process group, so Ctrl-C reaches it.
            return subprocess.run(command, env=session.env).returncode
    return main("session xvfb", body)


def wine_run(argv):
    """wine-run PREFIX PROGRAM.exe [ARGS...]: runs a Windows program under
    Wine in PREFIX, prepared first (CMake's emulator for the Windows tests).
    Uses DISPLAY when set, otherwise a private Xvfb for this one run."""
    if len(argv) < 2:
        print("wine-run: usage: wine-run PREFIX PROGRAM.exe [ARGS...]", file=sys.stderr)
        return 2

    def body():
        if os.environ.get("DISPLAY"):
            env = dict(os.environ)
            claim = wine.claim_prefix(argv[0], env)
            prefix = wine.prepare_prefix(argv[0], env)
            env = wine.wine_env(env, prefix)
            if claim is None:  # the enclosing run holds the prefix
                os.execvpe(wine.loader(), [wine.loader(), *argv[1:]], env)
            with claim:
                return subprocess.run([wine.loader(), *argv[1:]], env=env).returncode
        with Session(private_display=True) as session:
            program = session.start_wine(argv[0], argv[1], argv[2:])
            return program.wait(None)
    return main("wine-run", body)
