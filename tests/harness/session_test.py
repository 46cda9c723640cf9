"""Tests of the session package's promises that every tool relies on: what a
session starts ends with it, and waits fail early and by their bound."""

import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

from session import Failure, Session, wait_for, wine

WINE_RUN = Path(__file__).resolve().parents[2] / "scripts" / "wine-run"


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    # A zombie has ended; only its parent has not read its exit code yet.
    with open(f"/proc/{pid}/stat") as stat:
        return stat.read().rsplit(")", 1)[1].split()[0] != "Z"


class SessionTest(unittest.TestCase):
    def test_leaving_stops_programs_their_children_and_the_display(self):
        with Session() as session:
            program = session.start_native(["sh", "-c", "sleep 300 & echo $!; wait"], stdout=subprocess.PIPE)
            child = int(program.stdout.readline())
            xvfb = session._xvfb.pid
            self.assertTrue(alive(child) and alive(xvfb))
            self.assertRegex(session.display, r"^:\d+$")
        for pid in (program.pid, child, xvfb):
            wait_for(lambda: not alive(pid), 10, f"process {pid} to end")

    def test_wait_window_fails_at_once_when_the_program_ends(self):
        with Session() as session:
            program = session.start_native(["sh", "-c", "exit 3"])
            with self.assertRaisesRegex(Failure, "ended with exit code 3 before showing a window"):
                session.wait_window(program, "^never$", 60)

    def test_waits_end_by_their_bound(self):
        with self.assertRaisesRegex(Failure, "timed out after 0.5 s waiting for nothing"):
            wait_for(lambda: False, 0.5, "nothing")

    def test_a_second_run_in_a_held_wine_prefix_is_refused_with_one_line(self):
        with tempfile.TemporaryDirectory() as scratch:
            prefix = Path(scratch) / "prefix"
            holder = subprocess.Popen([sys.executable, "-c", "import sys; from session import wine; "
                                       f"claim = wine.claim_prefix({str(prefix)!r}, {{}}); print(flush=True); "
                                       "sys.stdin.read()"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
            try:
                holder.stdout.readline()
                env = dict(os.environ, DISPLAY=os.environ.get("DISPLAY", ":0"))
                second = subprocess.run([WINE_RUN, prefix, "program.exe"], env=env, capture_output=True,
                                        text=True, timeout=60)
                self.assertEqual(second.returncode, 1)
                self.assertRegex(second.stderr, rf"^wine-run: FAIL: the Wine prefix {prefix} is in use by another "
                                 rf"run \(process {holder.pid}\).*\n$")
                self.assertFalse(prefix.exists(), "the refused run touched the prefix")
                # The holder's own children pass; after the holder ends, the prefix is free.
                self.assertIsNone(wine.claim_prefix(prefix, {wine.CLAIMS_VARIABLE: str(prefix)}))
            finally:
                holder.communicate(timeout=30)
            env = {}
            with wine.claim_prefix(prefix, env):
                self.assertEqual(env[wine.CLAIMS_VARIABLE], str(prefix))


if __name__ == "__main__":
    unittest.main()
