// Soak probe: finds the running program's window by its class and, at a
// fixed interval, prints one line of figures about its process: memory
// (working set, private bytes), open handles, GDI and USER objects, whether
// it is minimised, and its title. Ends after the given number of samples,
// or when the program ends (printing its exit code).
//
//   soak_probe.exe [--class NAME] [--interval-ms N] [--samples N] [--find-seconds S]
//
// Each line is tab-separated key=value pairs with the title last:
//   sample=3  ms=15002  pid=32  working_set=...  private=...  handles=...
//   gdi=...  user=...  iconic=0  title=Noise animation 41.37 fps
#define PSAPI_VERSION 1
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

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

} // namespace

int main(int argc, char** argv) {
    std::string window_class = "Noise animation";
    unsigned long interval_ms = 5000, samples = 0, find_seconds = 60;
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (i + 1 >= argc) Usage("missing value after " + flag);
        const char* value = argv[++i];
        if (flag == "--class") window_class = value;
        else if (flag == "--interval-ms") interval_ms = ParseCount(value, "--interval-ms");
        else if (flag == "--samples") samples = ParseCount(value, "--samples");
        else if (flag == "--find-seconds") find_seconds = ParseCount(value, "--find-seconds");
        else Usage("unknown option " + flag);
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

    const DWORD start = GetTickCount();
    for (unsigned long sample = 0; samples == 0 || sample < samples; ++sample) {
        if (sample > 0) {
            // Sleeps until the next sample time, or returns early when the program ends.
            DWORD due = start + sample * interval_ms;
            DWORD now = GetTickCount();
            DWORD wait = static_cast<int32_t>(due - now) > 0 ? due - now : 0;
            if (WaitForSingleObject(process, wait) == WAIT_OBJECT_0) break;
        }
        if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) break;

        PROCESS_MEMORY_COUNTERS_EX memory = {};
        memory.cb = sizeof memory;
        GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
        DWORD handles = 0;
        GetProcessHandleCount(process, &handles);
        DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
        DWORD user = GetGuiResources(process, GR_USEROBJECTS);
        char title[256] = {};
        GetWindowTextA(window, title, sizeof title);
        std::printf("sample=%lu\tms=%lu\tpid=%lu\tworking_set=%lu\tprivate=%lu\thandles=%lu\tgdi=%lu\tuser=%lu"
                    "\ticonic=%d\ttitle=%s\n",
                    sample, GetTickCount() - start, pid, static_cast<unsigned long>(memory.WorkingSetSize),
                    static_cast<unsigned long>(memory.PrivateUsage), handles, gdi, user,
                    IsIconic(window) ? 1 : 0, title);
        std::fflush(stdout);
    }

    if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        std::printf("exited=%lu\n", code);
    }
    std::fflush(stdout);
    CloseHandle(process);
    return 0;
}
