#!/usr/bin/env python3
"""Runs the message storm against the real program under Wine.

Starts the program through scripts/wine-run, then message_storm.exe, which
finds the window, storms it, checks it keeps working and ends it with Esc.
Passes when both end with exit code 0 within bounded times; with
--expect-failure TEXT it passes only when the run fails with a message that
contains TEXT (to prove the checks catch a faulty program). Every process
started here is stopped by its process group id at the end.

  run_storm.py --prefix DIR --program EXE --storm EXE [--seconds S] [--seed N]
               [--program-option OPT]... [--expect-failure TEXT]
               [-- MORE STORM OPTIONS]

Options after -- go to message_storm.exe unchanged (--kinds, --burst, ...).
"""

import argparse
import sys
import threading
from pathlib import Path
import subprocess

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
import wine_session as ws  # noqa: E402

START_SECONDS = 180        # the first run may have to create the Wine prefix
STORM_SLACK_SECONDS = 150  # finding the window, pauses, the final title and Esc
EXIT_SECONDS = 30


def echo_lines(stream, lines):
    for raw in stream:
        line = raw.decode(errors="replace").rstrip("\r\n")
        lines.append(line)
        print(line, flush=True)


def storm_run(options, display, storm_lines):
    """Runs the program and the storm; raises ws.Failure at the first fault."""
    program = storm = None
    try:
        program = ws.start_wine(options.prefix, options.program, options.program_option, display=display)
        ws.wait_for_image(program, Path(options.program).name, START_SECONDS)

        args = ["--seconds", options.seconds]
        if options.seed is not None:
            args += ["--seed", options.seed]
        args += options.storm_options
        sys.stdout.flush()
        storm = ws.start_wine(options.prefix, options.storm, args, display=display, stdout=subprocess.PIPE)
        reader = threading.Thread(target=echo_lines, args=(storm.stdout, storm_lines), daemon=True)
        reader.start()
        limit = options.seconds + STORM_SLACK_SECONDS
        storm_code = ws.wait(storm, limit)
        reader.join(5)
        if storm_code is None:
            raise ws.Failure(f"the storm tool did not finish within {limit:.0f} s")
        if storm_code != 0:
            raise ws.Failure(f"the storm tool reported a failure (exit code {storm_code})")

        program_code = ws.wait(program, EXIT_SECONDS)
        if program_code is None:
            raise ws.Failure(f"the program was still running {EXIT_SECONDS} s after the storm ended")
        if program_code != 0:
            raise ws.Failure(f"the program ended with exit code {program_code}")
    finally:
        ws.stop(storm)
        ws.stop(program)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--storm", required=True)
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--seed", type=int)
    parser.add_argument("--program-option", action="append", default=[], help="an option for the program")
    parser.add_argument("--expect-failure", metavar="TEXT", help="pass only when the run fails saying TEXT")
    parser.add_argument("storm_options", nargs="*", help="more options for message_storm.exe, after --")
    options = parser.parse_args()

    display, xvfb = ws.start_display()
    storm_lines = []
    try:
        storm_run(options, display, storm_lines)
        failure = None
    except ws.Failure as caught:
        failure = str(caught)
    finally:
        if xvfb is not None:
            ws.wait_for_wine_to_settle(options.prefix)
        ws.stop(xvfb)

    if options.expect_failure is None:
        if failure:
            print(f"run_storm: FAIL: {failure}", flush=True)
            return 1
        print("run_storm: storm and program ended with exit code 0")
        return 0
    if failure is None:
        print(f"run_storm: FAIL: the fault went unnoticed (expected a failure saying {options.expect_failure!r})")
        return 1
    said = [line for line in storm_lines if "FAIL" in line] + [failure]
    if not any(options.expect_failure in line for line in said):
        print(f"run_storm: FAIL: failed for another reason than {options.expect_failure!r}: {said[0]}")
        return 1
    print(f"run_storm: the fault was caught as expected: {said[0]}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
