#!/usr/bin/env python3
"""Runs the message storm against the real program under Wine.

Starts the program, then message_storm.exe, which finds the window, storms
it, checks it keeps working and ends it with Esc. Passes when both end with
exit code 0 within bounded times; with --expect-failure TEXT it passes only
when the run fails with a message that contains TEXT (to prove the checks
catch a faulty program). A plain run that fails is run once more with the
same seed, both printed, and fails if that fails too. Uses DISPLAY when set,
otherwise a private Xvfb.

  run_storm.py --prefix DIR --program EXE --storm EXE [--seconds S] [--seed N]
               [--program-option OPT]... [--expect-failure TEXT]
               [-- MORE STORM OPTIONS]

Options after -- go to message_storm.exe unchanged (--kinds, --burst, ...).
"""

import re
import subprocess
import sys
import threading
from pathlib import Path

from session import Failure, Session, cli

START_SECONDS = 60         # Wine start-up in a prepared prefix, on a busy machine
STORM_SLACK_SECONDS = 150  # finding the window, pauses, the final title and Esc
EXIT_SECONDS = 30


def echo_lines(stream, lines):
    for raw in stream:
        line = raw.decode(errors="replace").rstrip("\r\n")
        lines.append(line)
        print(line, flush=True)


def storm_run(session, options, storm_lines):
    """Runs the program and the storm; raises Failure at the first fault."""
    program = session.start_wine(options.prefix, options.program, options.program_option)
    program.wait_image(Path(options.program).name, START_SECONDS)

    args = ["--seconds", options.seconds]
    if options.seed is not None:
        args += ["--seed", options.seed]
    args += options.storm_options
    sys.stdout.flush()
    storm = session.start_wine(options.prefix, options.storm, args, stdout=subprocess.PIPE)
    reader = threading.Thread(target=echo_lines, args=(storm.stdout, storm_lines), daemon=True)
    reader.start()
    limit = options.seconds + STORM_SLACK_SECONDS
    storm_code = storm.wait(limit)
    reader.join(5)
    if storm_code is None:
        raise Failure(f"the storm tool did not finish within {limit:.0f} s")
    if storm_code != 0:
        raise Failure(f"the storm tool reported a failure (exit code {storm_code})")

    program_code = program.wait(EXIT_SECONDS)
    if program_code is None:
        raise Failure(f"the program was still running {EXIT_SECONDS} s after the storm ended")
    if program_code != 0:
        raise Failure(f"the program ended with exit code {program_code}")


def storm_once(options, storm_lines):
    """One storm in a session of its own; the failure's text, or None."""
    try:
        with Session(private_display=False) as session:
            storm_run(session, options, storm_lines)
    except Failure as caught:
        return str(caught)
    return None


def replay_seed(storm_lines):
    for line in storm_lines:
        found = re.search(r"replay with --seed ([0-9]+)", line)
        if found:
            return int(found.group(1))
    return None


def run(options):
    storm_lines = []
    failure = storm_once(options, storm_lines)

    if options.expect_failure is None:
        if failure and replay_seed(storm_lines) is not None and options.seed is None:
            # A storm shares the machine with whatever else runs: the same
            # actions again tell a fault of the program (it fails again) from
            # a stall of the machine (it passes), and both runs are printed.
            print(f"run_storm: FAIL on the first run: {failure}; the same storm again", flush=True)
            options.seed = replay_seed(storm_lines)
            storm_lines = []
            failure = storm_once(options, storm_lines)
        if failure:
            raise Failure(failure)
        print("run_storm: storm and program ended with exit code 0")
        return 0
    if failure is None:
        raise Failure(f"the fault went unnoticed (expected a failure saying {options.expect_failure!r})")
    said = [line for line in storm_lines if "FAIL" in line] + [failure]
    if not any(options.expect_failure in line for line in said):
        raise Failure(f"failed for another reason than {options.expect_failure!r}: {said[0]}")
    print(f"run_storm: the fault was caught as expected: {said[0]}")
    return 0


def main():
    parser = cli.parser("run_storm", __doc__)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--storm", required=True)
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--seed", type=int)
    parser.add_argument("--program-option", action="append", default=[], help="an option for the program")
    parser.add_argument("--expect-failure", metavar="TEXT", help="pass only when the run fails saying TEXT")
    parser.add_argument("storm_options", nargs="*", help="more options for message_storm.exe, after --")
    return cli.main("run_storm", run, parser.parse_args())


if __name__ == "__main__":
    sys.exit(main())
