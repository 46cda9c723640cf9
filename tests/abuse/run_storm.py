#!/usr/bin/env python3
"""Runs the message storm against the real program under Wine.

Starts noise-animation.exe through scripts/wine-run, then message_storm.exe,
which finds the window, storms it, checks it keeps working and ends it with
Esc. Passes when both end with exit code 0 within bounded times. Every
process started here is stopped by its process group id at the end.

  run_storm.py --prefix DIR --program EXE --storm EXE [--seconds S] [--seed N]
               [-- MORE STORM OPTIONS]

Options after -- go to message_storm.exe unchanged (--kinds, --burst, ...).
"""

import argparse
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
import wine_session as ws  # noqa: E402

START_SECONDS = 180      # the first run may have to create the Wine prefix
STORM_SLACK_SECONDS = 150  # finding the window, pauses, the final title and Esc
EXIT_SECONDS = 30


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--storm", required=True)
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--seed", type=int)
    parser.add_argument("storm_options", nargs="*", help="more options for message_storm.exe, after --")
    options = parser.parse_args()

    display, xvfb = ws.start_display()
    program = storm = None
    try:
        program = ws.start_wine(options.prefix, options.program, display=display)
        ws.wait_for_image(program, Path(options.program).name, START_SECONDS)

        args = ["--seconds", options.seconds]
        if options.seed is not None:
            args += ["--seed", options.seed]
        args += options.storm_options
        sys.stdout.flush()
        storm = ws.start_wine(options.prefix, options.storm, args, display=display)
        storm_code = ws.wait(storm, options.seconds + STORM_SLACK_SECONDS)
        if storm_code is None:
            raise ws.Failure(f"the storm tool did not finish within {options.seconds + STORM_SLACK_SECONDS:.0f} s")
        if storm_code != 0:
            raise ws.Failure(f"the storm tool reported a failure (exit code {storm_code})")

        program_code = ws.wait(program, EXIT_SECONDS)
        if program_code is None:
            raise ws.Failure(f"the program was still running {EXIT_SECONDS} s after the storm ended")
        if program_code != 0:
            raise ws.Failure(f"the program ended with exit code {program_code}")
        print("run_storm: storm and program ended with exit code 0")
        return 0
    except ws.Failure as failure:
        print(f"run_storm: FAIL: {failure}", flush=True)
        return 1
    finally:
        ws.stop(storm)
        ws.stop(program)
        if xvfb is not None:
            ws.wait_for_wine_to_settle(options.prefix)
        ws.stop(xvfb)


if __name__ == "__main__":
    sys.exit(main())
