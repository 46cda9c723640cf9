"""Processes started by the tools, bounded waits, and the one failure type.

Every process is started in a session of its own, so that it and whatever
it spawns share one process group whose id is its process id; stopping it
signals that group by id, with bounded waits.
"""

import os
import signal
import subprocess
import time
from pathlib import Path

POLL_SECONDS = 0.25
TOOL_SECONDS = 20  # a bound for one short X or Wine command


class Failure(Exception):
    """A check or a wait failed; the message is the one line to print."""


def wait_for(predicate, seconds, what, interval=POLL_SECONDS):
    """Calls PREDICATE until it returns something true and returns that;
    raises Failure("timed out after SECONDS s waiting for WHAT") otherwise.
    PREDICATE may raise Failure itself to stop early."""
    deadline = time.monotonic() + seconds
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failure(f"timed out after {seconds:g} s waiting for {what}")
        time.sleep(interval)


def run_tool(argv, env=None, seconds=TOOL_SECONDS, check=True):
    """Runs a short command to the end and returns its CompletedProcess
    (stdout and stderr as bytes). Raises Failure when it takes longer than
    SECONDS or, with CHECK, ends with a non-zero code."""
    try:
        result = subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=seconds)
    except subprocess.TimeoutExpired:
        raise Failure(f"{Path(argv[0]).name} did not finish within {seconds:g} s") from None
    except OSError as error:
        raise Failure(f"cannot run {argv[0]}: {error.strerror}") from None
    if check and result.returncode != 0:
        said = result.stderr.decode(errors="replace").strip().splitlines()
        raise Failure(f"{' '.join(map(str, argv[:2]))} failed with exit code {result.returncode}"
                      + (f": {said[-1]}" if said else ""))
    return result


class Program:
    """A process started in its own process group."""

    def __init__(self, argv, env=None, cwd=None, stdout=None, stderr=None, name=None, pass_fds=()):
        self.argv = [str(a) for a in argv]
        self.name = name or Path(self.argv[0]).name
        try:
            self._process = subprocess.Popen(self.argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                             stdout=stdout, stderr=stderr, pass_fds=pass_fds,
                                             start_new_session=True)
        except OSError as error:
            raise Failure(f"cannot start {self.argv[0]}: {error.strerror}") from None

    @property
    def pid(self):
        return self._process.pid

    @property
    def stdout(self):
        """The program's output when started with stdout=subprocess.PIPE."""
        return self._process.stdout

    def poll(self):
        """The exit code, or None while it runs."""
        return self._process.poll()

    def wait(self, seconds):
        """The exit code, or None when it still runs after SECONDS (None:
        no bound, for a program the user closes)."""
        try:
            return self._process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            return None

    def send_signal(self, number):
        """Sends signal NUMBER to the program alone (not its group)."""
        self._process.send_signal(number)

    def expect_exit(self, seconds, after, code=0):
        """Waits at most SECONDS for the program to end with CODE; AFTER says
        what ended it, for the failure message ("after Esc")."""
        got = self.wait(seconds)
        if got is None:
            raise Failure(f"the program did not end within {seconds} s {after}")
        if got != code:
            raise Failure(f"exit code {after} is {got}, not {code}")

    def wait_image(self, image, seconds):
        """Waits until the process runs IMAGE (a file name in its command
        line; Wine's loader becomes the Windows program under the same id).
        Raises Failure when it ends first or takes longer than SECONDS."""
        def running():
            code = self.poll()
            if code is not None:
                raise Failure(f"{image} ended during start-up with exit code {code}")
            try:
                command = Path(f"/proc/{self.pid}/cmdline").read_bytes()
            except OSError:
                return False
            return image.lower().encode() in command.lower()
        wait_for(running, seconds, f"{image} to start", interval=0.1)

    def stop(self, grace=5):
        """Ends the process and its group, politely first; bounded by twice
        GRACE seconds. Harmless when it has already ended."""
        for sig in (signal.SIGTERM, signal.SIGKILL):
            if self.poll() is not None:
                break
            try:
                os.killpg(self.pid, sig)
            except ProcessLookupError:
                break
            self.wait(grace)
        # Whatever else is left in the group once its leader has gone.
        try:
            os.killpg(self.pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass
        if self._process.stdout is not None:
            self._process.stdout.close()
