// Ending a POSIX program the Unix way: SIGTERM and SIGINT end it by that
// signal, at once during start-up and after putting back what it changed
// once it runs; and a deadline for start-up steps that may block for ever.
#pragma once

// Catches SIGTERM and SIGINT; until DeferExitSignals each ends the process
// at once, by that signal. program names the process in deadline messages.
void CatchExitSignals(const char* program);

// From now on SIGTERM and SIGINT are only recorded (ExitSignal), so that the
// program can put back what it changed and then call EndByExitSignal. If it
// has not done so within a few seconds (a call blocked on a display that
// stopped answering), the signal ends the process anyway.
void DeferExitSignals();

// The SIGTERM or SIGINT recorded since DeferExitSignals; 0 when none.
int ExitSignal();

// Ends the process by the recorded signal, as that signal's default action
// does, so the parent sees it (a shell reports 128 + its number). Returns
// when no signal was recorded.
void EndByExitSignal();

// Unless DisarmDeadline comes within seconds, writes "<program>: <text>"
// and a newline to standard error and ends the process with exit code.
void ArmDeadline(unsigned seconds, const char* text, int code);
void DisarmDeadline();
