"""Tests of the session package's promises that every tool relies on: what a
session starts ends with it, and waits fail early and by their bound."""

import os
import subprocess
import unittest

from session import Failure, Session, wait_for


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


if __name__ == "__main__":
    unittest.main()
