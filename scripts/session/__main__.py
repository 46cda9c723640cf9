"""Entry points for shell scripts:

  python3 -m session xvfb [--prefix PREFIX]... -- COMMAND...
      COMMAND on a private Xvfb (DISPLAY set), each Wine PREFIX prepared
      first; its exit code.
  python3 -m session wine PREFIX PROGRAM.exe [ARGS...]
      a Windows program under Wine in PREFIX, created first if needed.
  python3 -m session window WIDTH HEIGHT [input-only]
      maps a red (or an InputOnly) window on DISPLAY, prints its id, keeps
      it until ended.
"""

import sys

from .cli import wine_run, with_display
from .xserver import hold_window

COMMANDS = {"xvfb": with_display, "wine": wine_run, "window": hold_window}

if len(sys.argv) < 2 or sys.argv[1] not in COMMANDS:
    print(__doc__.strip(), file=sys.stderr)
    sys.exit(2)
sys.exit(COMMANDS[sys.argv[1]](sys.argv[2:]))
