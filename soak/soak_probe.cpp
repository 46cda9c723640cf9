// Soak probe: finds the running program's window by its class and, at a
// fixed interval, prints one line of figures about its process: memory
// (working set, private bytes, pagefile usage), open handles, GDI and USER
// objects, whether it is minimised, how often its title changed and its
// title. Between samples it reads the title every 100 ms to time the
// frame-rate updates. Ends after the given number of samples (with --close
// it then presses Esc and waits for the program to end) or when the
// program ends, printing its exit code.
//
//   soak_probe.exe [--class NAME] [--interval-ms N] [--samples N]
//                  [--find-seconds S] [--close]
//
// Each sample is one line of tab-separated key=value pairs, title last:
//   sample=3  ms=15002  pid=32  working_set=...  private=...  pagefile=...
//   handles=...  gdi=...  user=...  iconic=0  title_changes=2
//   title_gaps=2013,2008  title=Noise animation 41.37 fps
// title_gaps lists the times between consecutive title changes that ended
// during this sample's period, in ms. The last line is exited=<code>, or
// error=<what> when the window never appeared or the program did not end.
#define PSAPI_VERSION 1
#include <windows.h>
// psapi.h needs the types of windows.h.
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kTitlePollMs = 100;
constexpr DWORD kCloseTimeoutMs = 30000;

[[noreturn]] void Usage(const std::string& what) {
    std::fprintf(stderr, "soak_probe: %s\n", what.c_str());
    std::exit(2);
}

unsigned long ParseCount(const char* text, const char* name) {
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0') Usage(std::string(name) + " needs a whole number, got '" + text + "'");
    return value;
}

struct TitleWatch {
    std::string title;
    DWORD changed_at = 0;
    bool seen_change = false;  // the first change ends the start-up interval, not a rate interval
    unsigned changes = 0;
    std::string gaps;

    void Poll(HWND window) {
        char buffer[256] = {};
        GetWindowTextA(window, buffer, sizeof buffer);
        DWORD now = GetTickCount();
        if (title == buffer) return;
        title = buffer;
        ++changes;
        if (seen_change) {
            if (!gaps.empty()) gaps += ',';
            gaps += std::to_string(now - changed_at);
        }
        seen_change = true;
        changed_at = now;
    }
};

void PrintExit(HANDLE process) {
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    std::printf("exited=%lu\n", code);
}

}  // namespace

int main(int argc, char** argv) {
    std::string window_class = "Noise animation";
    unsigned long interval_ms = 5000, samples = 0, find_seconds = 60;
    bool close = false;
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (flag == "--close") {
            close = true;
            continue;
        }
        if (i + 1 >= argc) Usage("missing value after " + flag);
        const char* value = argv[++i];
        if (flag == "--class")
            window_class = value;
        else if (flag == "--interval-ms")
            interval_ms = ParseCount(value, "--interval-ms");
        else if (flag == "--samples")
            samples = ParseCount(value, "--samples");
        else if (flag == "--find-seconds")
            find_seconds = ParseCount(value, "--find-seconds");
        else
            Usage("unknown option " + flag);
    }

    HWND window = nullptr;
    const DWORD find_start = GetTickCount();
    while (!(window = FindWindowA(window_class.c_str(), nullptr))) {
        if (GetTickCount() - find_start > find_seconds * 1000) {
            std::printf("error=no window of class \"%s\" within %lu s\n", window_class.c_str(), find_seconds);
            return 1;
        }
        Sleep(100);
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, pid);
    if (!process) {
        std::printf("error=cannot open process %lu (error %lu)\n", pid, GetLastError());
        return 1;
    }

    TitleWatch watch;
    watch.Poll(window);
    watch.changes = 0;  // the title found at start is no change
    const DWORD start = GetTickCount();
    bool ended = false;
    for (unsigned long sample = 0; samples == 0 || sample < samples; ++sample) {
        // Until this sample is due: watch the title, and stop when the program ends.
        const DWORD due = start + sample * interval_ms;
        while (!ended && static_cast<int32_t>(due - GetTickCount()) > 0) {
            DWORD left = due - GetTickCount();
            ended = WaitForSingleObject(process, left < kTitlePollMs ? left : kTitlePollMs) == WAIT_OBJECT_0;
            if (!ended) watch.Poll(window);
        }
        if (ended || WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
            ended = true;
            break;
        }

        PROCESS_MEMORY_COUNTERS_EX memory = {};
        memory.cb = sizeof memory;
        GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
        DWORD handles = 0;
        GetProcessHandleCount(process, &handles);
        DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
        DWORD user = GetGuiResources(process, GR_USEROBJECTS);
        watch.Poll(window);
        std::printf(
            "sample=%lu\tms=%lu\tpid=%lu\tworking_set=%lu\tprivate=%lu\tpagefile=%lu\thandles=%lu"
            "\tgdi=%lu\tuser=%lu\ticonic=%d\ttitle_changes=%u\ttitle_gaps=%s\ttitle=%s\n",
            sample, GetTickCount() - start, pid, static_cast<unsigned long>(memory.WorkingSetSize),
            static_cast<unsigned long>(memory.PrivateUsage), static_cast<unsigned long>(memory.PagefileUsage),
            handles, gdi, user, IsIconic(window) ? 1 : 0, watch.changes, watch.gaps.c_str(),
            watch.title.c_str());
        std::fflush(stdout);
        watch.changes = 0;
        watch.gaps.clear();
    }

    if (!ended && close) {
        PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 1);
        ended = WaitForSingleObject(process, kCloseTimeoutMs) == WAIT_OBJECT_0;
        if (!ended) std::printf("error=the program did not end within %lu ms after Esc\n", kCloseTimeoutMs);
    }
    if (ended) PrintExit(process);
    std::fflush(stdout);
    CloseHandle(process);
    return 0;
}
