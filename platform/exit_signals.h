// Ending a POSIX program the Unix way: SIGTERM and SIGINT end it by that
// signal, at once during start-up and after putting back what it changed
// once it runs; and a deadline for start-up steps that may block for ever.
#pragma once

// Catches SIGTERM and SIGINT, each ending the process at once by that signal
// until DeferExitSignals. program names the process in deadline messages.
void CatchExitSignals(const char* program);

// From now on SIGTERM and SIGINT are only recorded (ExitSignal) so that the
// program can put back what it changed and then call EndByExitSignal; should
// that take more than a few seconds, the signal ends the process anyway.
void DeferExitSignals();
int ExitSignal();  // the recorded signal; 0 for none

// Ends the process by the recorded signal through its default action (a
// shell reports 128 + its number). Returns when none was recorded.
void EndByExitSignal();

// Unless called again within seconds, writes "<program>: <text>" and a
// newline to standard error and ends the process with exit code. Seconds 0
// cancels the deadline.
void SetDeadline(unsigned seconds, const char* text, int code);

// Writes "<program>: <text>" and a newline to standard error and ends the
// process with exit code at once, running no exit handlers: for a loss that
// leaves nothing to put back (the display gone).
[[noreturn]] void ExitAtOnce(const char* text, int code);
