// SIGTERM, SIGINT and the start-up deadline through sigaction and alarm:
// the handlers only record, write with write(2) and end the process.
#include "platform/exit_signals.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned kCleanupSeconds = 3;  // how long putting things back may take after a signal

const char* program_name = "";
volatile sig_atomic_t deferring = 0;
volatile sig_atomic_t received = 0;  // the deferred signal, 0 for none
char deadline_line[512];             // "<program>: <text>\n"
volatile sig_atomic_t deadline_length = 0;
int deadline_code = 0;

// Ends the process by signal_number's default action. Inside that signal's
// own handler the signal is blocked, so it arrives as the handler returns.
void DieBy(int signal_number) {
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

void OnExitSignal(int signal_number) {
    if (deferring == 0) return DieBy(signal_number);
    received = signal_number;
    alarm(kCleanupSeconds);
}

void OnAlarm(int) {
    if (received != 0) return DieBy(received);
    if (deadline_length == 0) return;
    (void)!write(STDERR_FILENO, deadline_line, static_cast<size_t>(deadline_length));
    _exit(deadline_code);
}

void Catch(int signal_number, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // blocked reads and writes go on after a recorded signal
    sigaction(signal_number, &action, nullptr);
}

}  // namespace

void CatchExitSignals(const char* program) {
    program_name = program;
    Catch(SIGTERM, OnExitSignal);
    Catch(SIGINT, OnExitSignal);
    Catch(SIGALRM, OnAlarm);
}

void DeferExitSignals() { deferring = 1; }

int ExitSignal() { return received; }

void EndByExitSignal() {
    if (received != 0) DieBy(received);
}

void SetDeadline(unsigned seconds, const char* text, int code) {
    alarm(0);
    deadline_length = 0;
    if (seconds == 0) return;
    std::snprintf(deadline_line, sizeof deadline_line, "%s: %s\n", program_name, text);
    deadline_length = static_cast<sig_atomic_t>(std::strlen(deadline_line));
    deadline_code = code;
    alarm(seconds);
}

void ExitAtOnce(const char* text, int code) {
    char line[512];
    std::snprintf(line, sizeof line, "%s: %s\n", program_name, text);
    (void)!write(STDERR_FILENO, line, std::strlen(line));
    _exit(code);
}
