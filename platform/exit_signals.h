// Ending a POSIX program the Unix way, the one home of signal handling for
// the native program and the frame tool: SIGTERM and SIGINT end a program
// by that signal, at once during start-up and after putting back what it
// changed once it runs; every ending signal can first clear up files left
// half-made; new threads can leave signals sent to the process to the
// thread that handles them; a deadline for start-up steps that may block
// for ever; and an exit at once for a loss that leaves nothing to put back.
#pragma once

#include <signal.h>

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

// For a program that writes files through temporaries: every catchable
// signal that would end the process (SIGINT, SIGTERM, SIGHUP, SIGPIPE,
// faults, ...) first calls cleanup, then ends the process by the same
// signal, so a shell still sees 128 + N. cleanup runs inside the handler
// with every signal blocked: it may only make async-signal-safe calls.
// Signals that are ignored or already handled (by a sanitizer, say) are left
// alone. SIGXFSZ is ignored, so exceeding a file-size limit is an ordinary
// write error (EFBIG) rather than death. Call once, early in main, before
// any thread starts.
void CatchEndingSignals(void (*cleanup)());

// Blocks the ending signals in the calling thread for its lifetime: what
// the clean-up reads is never seen half-changed, and a step that must not
// be cut short (a file rewritten in place) finishes before the signal ends
// the process.
class EndingSignalsHeld {
  public:
    EndingSignalsHeld();
    ~EndingSignalsHeld();
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

  private:
    sigset_t old_;  // the thread's previous mask
};

// While it lives, the calling thread blocks every signal sent to the process
// apart from those a thread brings on itself: faults, and SIGPIPE and
// SIGXFSZ from its own writes (so that a closed pipe ends a run as it does
// without threads). Threads started meanwhile keep that mask, and so leave
// sent signals to the thread that handles them, the one that opens and
// commits files. The calling thread's own mask is put back at the end.
class SentSignalsKeptFromNewThreads {
  public:
    SentSignalsKeptFromNewThreads();
    ~SentSignalsKeptFromNewThreads();
    SentSignalsKeptFromNewThreads(const SentSignalsKeptFromNewThreads&) = delete;
    SentSignalsKeptFromNewThreads& operator=(const SentSignalsKeptFromNewThreads&) = delete;

  private:
    sigset_t old_;
};
