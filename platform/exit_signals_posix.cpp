// SIGTERM, SIGINT and the start-up deadline through sigaction and alarm,
// the clean-up before an ending signal, and the threads' signal masks: the
// handlers only record, write with write(2), run the clean-up and end the
// process.
#include "platform/exit_signals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

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

// Signals whose default action ends the process.
constexpr int kEndingSignals[] = {
    SIGHUP,  SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGTERM, SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM,
    SIGPROF, SIGIO,  SIGPWR,  SIGSYS,  SIGABRT, SIGSEGV, SIGBUS,  SIGFPE,  SIGILL,  SIGTRAP,
};

void (*ending_cleanup)() = nullptr;

void OnEndingSignal(int signal_number) {
    ending_cleanup();
    // SA_RESETHAND restored the default action; the raised signal is
    // delivered as soon as this handler returns and unblocks it.
    raise(signal_number);
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

void CatchEndingSignals(void (*cleanup)()) {
    ending_cleanup = cleanup;
    for (int sig : kEndingSignals) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) != 0) continue;
        if ((old.sa_flags & SA_SIGINFO) != 0 || old.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = OnEndingSignal;
        sigfillset(&action.sa_mask);  // nothing else runs while the clean-up does
        action.sa_flags = SA_RESETHAND;
        sigaction(sig, &action, nullptr);
    }
    signal(SIGXFSZ, SIG_IGN);  // a file-size limit makes write fail with EFBIG
}

EndingSignalsHeld::EndingSignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kEndingSignals) sigaddset(&set, sig);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
}

EndingSignalsHeld::~EndingSignalsHeld() {
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}

SentSignalsKeptFromNewThreads::SentSignalsKeptFromNewThreads() {
    sigset_t sent;
    sigfillset(&sent);
    for (const int own : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT, SIGSYS, SIGPIPE, SIGXFSZ}) {
        sigdelset(&sent, own);
    }
    pthread_sigmask(SIG_BLOCK, &sent, &old_);
}

SentSignalsKeptFromNewThreads::~SentSignalsKeptFromNewThreads() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
