// Message storm: finds the running program's window by its class, posts a
// seeded random storm of user actions at it for a bounded time, checks
// between bursts that the program is alive, answers, and keeps updating its
// frame-rate title (minimised phases included), then ends it with Esc and
// checks its exit code. Prints the seed and the counts.
//
//   message_storm.exe [--seconds S] [--seed N] [--burst N] [--pause-ms N]
//                     [--class NAME] [--find-seconds S] [--stall-seconds S]
//                     [--minimise-every S] [--exit-seconds S] [--kinds a,b,...]
//
// --kinds limits the storm to some kinds of action (names as in the printed
// figures), to narrow down a failure; --minimise-every 0 skips the
// minimised phases.
// Exit code 0 when everything held, 1 when a check failed, 2 for bad usage.
#define PSAPI_VERSION 1
#include <windows.h>
// psapi.h needs the types of windows.h.
#include <psapi.h>

#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "soak/storm_plan.h"

namespace {

using storm::Action;
using storm::ActionKind;

struct Options {
    double seconds = 15.0;
    uint64_t seed = 0;
    bool seed_given = false;
    int burst = 50;     // actions between two pauses
    int pause_ms = 20;  // pause after each burst
    std::string window_class = "Noise animation";
    double find_seconds = 60;   // how long to wait for the window to appear
    double stall_seconds = 20;  // longest accepted time without a title change
    double minimise_every = 5;  // seconds of storm between minimised phases
    double exit_seconds = 30;   // how long the program may take to end after Esc
    storm::KindMask kinds = storm::kAllKinds;
};

constexpr DWORD kAnswerTimeoutMs = 20000;  // a live program answers WM_NULL well within this
constexpr DWORD kCheckEveryMs = 400;
constexpr DWORD kEndingGraceMs = 5000;
constexpr DWORD kMinimiseTimeoutMs = 15000;  // behind a backlog of earlier actions
constexpr DWORD kSettleMs = 500;             // for the X server's notices of earlier moves and resizes
constexpr DWORD kBackOffAfterMs = 4000;      // title updates are due every 2 s
constexpr UINT kAsyncPosFlags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS;

struct Figures {
    std::array<uint64_t, storm::kActionKinds> done{};
    std::array<uint64_t, storm::kActionKinds> refused{};
    uint64_t checks = 0;
    uint64_t title_changes = 0;
    uint64_t minimised_phases = 0;
    uint64_t zero_client_seen = 0;
    DWORD longest_title_gap_ms = 0;
    DWORD longest_answer_ms = 0;
    double fastest_rate = 0;  // frames a second, as the title showed it
    uint64_t backoffs = 0;
    DWORD backoff_ms = 0;
    size_t working_set_start = 0;  // bytes, as Windows (or Wine) reports them
    size_t working_set_peak = 0;
    size_t working_set_end = 0;
};

struct Target {
    HWND window = nullptr;
    DWORD pid = 0;
    HANDLE process = nullptr;
    std::string title;
    DWORD title_changed_at = 0;
};

Figures figures;

[[noreturn]] void Fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::fputs("storm: FAIL: ", stdout);
    std::vprintf(format, args);
    std::fputc('\n', stdout);
    va_end(args);
    std::fflush(stdout);
    std::exit(1);
}

[[noreturn]] void Usage(const char* what) {
    std::fprintf(stderr, "message_storm: %s\n", what);
    std::exit(2);
}

double ParseNumber(const char* text, const char* name) {
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(value >= 0)) {
        std::fprintf(stderr, "message_storm: %s needs a non-negative number, got '%s'\n", name, text);
        std::exit(2);
    }
    return value;
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (i + 1 >= argc) Usage(("missing value after " + flag).c_str());
        const char* value = argv[++i];
        if (flag == "--seconds")
            o.seconds = ParseNumber(value, "--seconds");
        else if (flag == "--seed") {
            char* end = nullptr;
            o.seed = std::strtoull(value, &end, 0);
            if (end == value || *end != '\0') Usage("--seed needs an integer");
            o.seed_given = true;
        } else if (flag == "--burst")
            o.burst = static_cast<int>(ParseNumber(value, "--burst"));
        else if (flag == "--pause-ms")
            o.pause_ms = static_cast<int>(ParseNumber(value, "--pause-ms"));
        else if (flag == "--class")
            o.window_class = value;
        else if (flag == "--find-seconds")
            o.find_seconds = ParseNumber(value, "--find-seconds");
        else if (flag == "--stall-seconds")
            o.stall_seconds = ParseNumber(value, "--stall-seconds");
        else if (flag == "--minimise-every")
            o.minimise_every = ParseNumber(value, "--minimise-every");
        else if (flag == "--exit-seconds")
            o.exit_seconds = ParseNumber(value, "--exit-seconds");
        else if (flag == "--kinds") {
            if (!storm::ParseKinds(value, &o.kinds)) Usage("--kinds needs a list of known kind names");
        } else
            Usage(("unknown option " + flag).c_str());
    }
    if (o.burst < 1) Usage("--burst must be at least 1");
    return o;
}

DWORD Ms(double seconds) { return static_cast<DWORD>(seconds * 1000.0); }

constexpr char kCaption[] = "Noise animation";  // the title before the first rate

// The title is either the initial caption or "Noise animation <d>.<dd> fps".
bool TitleLooksRight(const std::string& title) {
    static const std::string prefix = kCaption;
    if (title == prefix) return true;
    if (title.rfind(prefix + " ", 0) != 0) return false;
    std::string rate = title.substr(prefix.size() + 1);
    if (rate.size() < 8 || rate.compare(rate.size() - 4, 4, " fps") != 0) return false;
    rate.resize(rate.size() - 4);
    // Any number of whole digits: a minimised window costs nothing to
    // present, so a fast processor renders well past 10,000 frames a second.
    size_t point = rate.find('.');
    if (point == std::string::npos || point == 0 || point > 20 || rate.size() != point + 3) return false;
    for (size_t i = 0; i < rate.size(); ++i)
        if (i != point && (rate[i] < '0' || rate[i] > '9')) return false;
    return true;
}

struct ClassCount {
    const char* name;
    int count;
    HWND first;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM data) {
    auto* count = reinterpret_cast<ClassCount*>(data);
    char name[256];
    if (GetClassNameA(window, name, sizeof name) > 0 && std::strcmp(name, count->name) == 0) {
        if (count->count++ == 0) count->first = window;
    }
    return TRUE;
}

Target FindTarget(const Options& o) {
    Target t;
    DWORD start = GetTickCount();
    ClassCount count{o.window_class.c_str(), 0, nullptr};
    while (true) {
        count = {o.window_class.c_str(), 0, nullptr};
        EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&count));
        if (count.count > 0) break;
        if (GetTickCount() - start > Ms(o.find_seconds))
            Fail("no window of class \"%s\" appeared within %.0f s", o.window_class.c_str(), o.find_seconds);
        Sleep(100);
    }
    if (count.count > 1)
        Fail("%d windows of class \"%s\": cannot tell which to storm", count.count, o.window_class.c_str());
    t.window = count.first;
    GetWindowThreadProcessId(t.window, &t.pid);
    t.process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, t.pid);
    if (!t.process) Fail("cannot open process %lu (error %lu)", t.pid, GetLastError());
    char title[256] = {};
    GetWindowTextA(t.window, title, sizeof title);
    t.title = title;
    t.title_changed_at = GetTickCount();
    return t;
}

size_t WorkingSet(const Target& t) {
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    if (!GetProcessMemoryInfo(t.process, &memory, sizeof memory)) return 0;
    if (memory.WorkingSetSize > figures.working_set_peak) figures.working_set_peak = memory.WorkingSetSize;
    return memory.WorkingSetSize;
}

// The program still runs and still has its window.
void CheckAlive(const Target& t) {
    // A window vanishes as its process ends; give the ending a moment to show.
    const DWORD grace = IsWindow(t.window) ? 0 : kEndingGraceMs;
    if (WaitForSingleObject(t.process, grace) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(t.process, &code);
        Fail("the program ended during the storm with exit code %lu", code);
    }
    if (!IsWindow(t.window)) Fail("the window is gone but the process still runs");
}

// The window must answer a sent message within the limit.
void Answer(const Target& t) {
    DWORD before = GetTickCount();
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(t.window, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerTimeoutMs, &result)) {
        CheckAlive(t);  // a vanished window fails at once: say why
        Fail("the window did not answer WM_NULL within %lu ms", kAnswerTimeoutMs);
    }
    DWORD answer = GetTickCount() - before;
    if (answer > figures.longest_answer_ms) figures.longest_answer_ms = answer;
}

// Alive, still has its window, answers a sent message, and its title has
// the right form and changed recently.
void Check(Target& t, const Options& o) {
    ++figures.checks;
    CheckAlive(t);

    Answer(t);

    char buffer[256] = {};
    GetWindowTextA(t.window, buffer, sizeof buffer);
    std::string title = buffer;
    DWORD now = GetTickCount();
    if (!TitleLooksRight(title)) Fail("unexpected title \"%s\"", title.c_str());
    if (title != t.title) {
        ++figures.title_changes;
        DWORD gap = now - t.title_changed_at;
        if (gap > figures.longest_title_gap_ms) figures.longest_title_gap_ms = gap;
        t.title = title;
        t.title_changed_at = now;
        const double rate = std::atof(title.c_str() + std::strlen(kCaption));
        if (rate > figures.fastest_rate) figures.fastest_rate = rate;
    } else if (now - t.title_changed_at > Ms(o.stall_seconds)) {
        Fail("the title stayed \"%s\" for %lu ms (minimised: %d)", title.c_str(), now - t.title_changed_at,
             IsIconic(t.window) ? 1 : 0);
    }

    WorkingSet(t);
    RECT client = {};
    if (GetClientRect(t.window, &client) && (client.right <= 0 || client.bottom <= 0))
        ++figures.zero_client_seen;
}

void Perform(const Target& t, const Action& a) {
    BOOL ok = FALSE;
    switch (a.kind) {
        case ActionKind::kResize:
            ok = SetWindowPos(t.window, nullptr, 0, 0, a.width, a.height, kAsyncPosFlags | SWP_NOMOVE);
            break;
        case ActionKind::kMove:
            ok = SetWindowPos(t.window, nullptr, a.x, a.y, 0, 0, kAsyncPosFlags | SWP_NOSIZE);
            break;
        case ActionKind::kMinimize:
            ShowWindowAsync(t.window, SW_MINIMIZE);  // the result is the old visibility, not success
            ok = TRUE;
            break;
        case ActionKind::kRestore:
            ShowWindowAsync(t.window, SW_RESTORE);
            ok = TRUE;
            break;
        default:
            ok = PostMessageA(t.window, a.message, a.wparam, static_cast<LPARAM>(a.lparam));
            break;
    }
    size_t kind = static_cast<size_t>(a.kind);
    if (ok) {
        ++figures.done[kind];
    } else {
        ++figures.refused[kind];
        Sleep(5);  // a full queue: let the program catch up
    }
}

// Waits while the frame loop lags: when the title has not changed for a
// while, the program is still working through earlier actions, and a
// single-threaded drain cannot outrun an endless flood. The storm resumes
// once the title moves again; Check fails if it never does.
void WaitForFrameLoop(Target& t, const Options& o) {
    if (GetTickCount() - t.title_changed_at <= kBackOffAfterMs) return;
    ++figures.backoffs;
    const DWORD start = GetTickCount();
    const uint64_t changes = figures.title_changes;
    while (figures.title_changes == changes) {
        Sleep(100);
        Check(t, o);
    }
    figures.backoff_ms += GetTickCount() - start;
}

// One burst of actions, then a sent WM_NULL: it is answered only after the
// window calls sent before it (resizes, moves, minimise, restore), which
// keeps that queue short. Then a pause in which the program can draw.
void Burst(Target& t, const Options& o, storm::Random& random, bool keep_minimised) {
    WaitForFrameLoop(t, o);
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    for (int i = 0; i < o.burst; ++i)
        Perform(t, storm::NextAction(random, width, height, keep_minimised, o.kinds));
    Answer(t);
    Sleep(static_cast<DWORD>(o.pause_ms));
}

// Minimises the window and keeps storming it, with actions that leave it
// minimised, until its title changes: the frame loop must keep running.
// The minimise is posted, so it comes after every message of the earlier
// bursts (a posted SC_RESTORE among them would otherwise undo it).
void MinimisedPhase(Target& t, const Options& o, storm::Random& random) {
    // Wine without a window manager restores a minimised window when the X
    // server's notice of an earlier move or resize arrives after the
    // minimise; the window handles those first, then they get time to land.
    Answer(t);
    Sleep(kSettleMs);
    PostMessageA(t.window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    DWORD start = GetTickCount();
    while (!IsIconic(t.window)) {
        if (GetTickCount() - start > kMinimiseTimeoutMs)
            Fail("the window did not minimise within %lu ms", kMinimiseTimeoutMs);
        Check(t, o);
        Sleep(20);
    }
    Check(t, o);  // a title set before the window was minimised is seen here, not counted below
    uint64_t changes = figures.title_changes;
    DWORD last_check = 0;
    while (figures.title_changes == changes) {
        Burst(t, o, random, true);
        if (GetTickCount() - last_check >= kCheckEveryMs) {
            Check(t, o);  // fails when the title stalls
            last_check = GetTickCount();
        }
        if (!IsIconic(t.window)) Fail("the window left the minimised state by itself");
    }
    ++figures.minimised_phases;
    ShowWindowAsync(t.window, SW_RESTORE);
}

void PrintFigures(const Options& o, double storm_seconds) {
    uint64_t total = 0, refused = 0;
    for (int k = 0; k < storm::kActionKinds; ++k) {
        total += figures.done[k];
        refused += figures.refused[k];
    }
    std::printf("storm: %.1f s, %llu actions (%.0f/s), %llu refused by a full queue\n", storm_seconds,
                static_cast<unsigned long long>(total),
                static_cast<double>(total) / (storm_seconds > 0 ? storm_seconds : 1),
                static_cast<unsigned long long>(refused));
    std::printf("storm: by kind:");
    for (int k = 0; k < storm::kActionKinds; ++k)
        std::printf(" %s=%llu", std::string(storm::KindName(static_cast<ActionKind>(k))).c_str(),
                    static_cast<unsigned long long>(figures.done[k]));
    std::printf("\n");
    std::printf(
        "storm: %llu checks, %llu title changes (longest gap %lu ms, limit %.0f s), "
        "%llu minimised phases with a title change, zero-sized client seen %llu times, "
        "slowest answer %lu ms, fastest title rate %.2f fps\n",
        static_cast<unsigned long long>(figures.checks),
        static_cast<unsigned long long>(figures.title_changes), figures.longest_title_gap_ms, o.stall_seconds,
        static_cast<unsigned long long>(figures.minimised_phases),
        static_cast<unsigned long long>(figures.zero_client_seen), figures.longest_answer_ms,
        figures.fastest_rate);
    constexpr double kMiB = 1024.0 * 1024.0;
    std::printf("storm: working set %.1f MiB at the start, %.1f MiB at the end (zoom 1 x 1), peak %.1f MiB\n",
                static_cast<double>(figures.working_set_start) / kMiB,
                static_cast<double>(figures.working_set_end) / kMiB,
                static_cast<double>(figures.working_set_peak) / kMiB);
    std::printf("storm: paused %llu times for the frame loop to catch up, %.1f s in all\n",
                static_cast<unsigned long long>(figures.backoffs), figures.backoff_ms / 1000.0);
}

}  // namespace

int main(int argc, char** argv) {
    Options o = ParseOptions(argc, argv);
    if (!o.seed_given) {
        LARGE_INTEGER counter;
        QueryPerformanceCounter(&counter);
        o.seed =
            static_cast<uint64_t>(counter.QuadPart) ^ (static_cast<uint64_t>(GetCurrentProcessId()) << 32);
    }
    std::printf("storm: seed %llu (replay with --seed %llu)\n", static_cast<unsigned long long>(o.seed),
                static_cast<unsigned long long>(o.seed));
    std::fflush(stdout);

    Target t = FindTarget(o);
    std::printf("storm: window %p of process %lu, title \"%s\"\n", static_cast<void*>(t.window), t.pid,
                t.title.c_str());
    std::fflush(stdout);

    figures.working_set_start = WorkingSet(t);
    storm::Random random{o.seed};
    const DWORD start = GetTickCount();
    DWORD last_check = start, last_minimised = start;
    while (GetTickCount() - start < Ms(o.seconds)) {
        Burst(t, o, random, false);
        DWORD now = GetTickCount();
        if (now - last_check >= kCheckEveryMs) {
            Check(t, o);
            last_check = GetTickCount();
        }
        if (o.minimise_every > 0 && now - last_minimised >= Ms(o.minimise_every)) {
            MinimisedPhase(t, o, random);
            last_minimised = GetTickCount();
        }
    }
    const double storm_seconds = (GetTickCount() - start) / 1000.0;

    // Back to the first size; let the backlog drain and the title move on
    // once more before closing.
    ShowWindowAsync(t.window, SW_RESTORE);
    PostMessageA(t.window, WM_SYSCOMMAND, storm::kZoomMenuIds[0], 0);
    uint64_t changes = figures.title_changes;
    while (figures.title_changes == changes) {
        Check(t, o);
        Sleep(100);
    }
    figures.working_set_end = WorkingSet(t);
    PrintFigures(o, storm_seconds);

    PostMessageA(t.window, WM_KEYDOWN, VK_ESCAPE, 1);
    if (WaitForSingleObject(t.process, Ms(o.exit_seconds)) != WAIT_OBJECT_0)
        Fail("the program did not end within %.0f s after Esc", o.exit_seconds);
    DWORD code = 1;
    GetExitCodeProcess(t.process, &code);
    CloseHandle(t.process);
    if (code != 0) Fail("the program ended with exit code %lu after Esc", code);
    std::printf("storm: the program ended with exit code 0 after Esc\n");
    return 0;
}
