// A stand-in for the program with one chosen fault, to prove that the
// message storm notices it. It opens a window of class "Noise animation",
// runs a frame loop that drains its messages and sets the rate title every
// 2 s, and ends on Esc, like the program, except for the fault:
//
//   faulty_window.exe --exit-code=N     ends with exit code N on Esc
//   faulty_window.exe --freeze-after=S  stops updating its title after S s
//   faulty_window.exe --die-on-zoom     ends (exit code 0) at the first zoom command
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kCaption = "Noise animation";
constexpr DWORD kTitleEveryMs = 2000;
constexpr WPARAM kZoomCommandBase = 1024;

UINT exitCode = 0;
DWORD freezeAfterMs = 0;  // 0: never
bool dieOnZoom = false;

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            ExitProcess(exitCode);
        case WM_KEYDOWN:
            if ((wParam & 0xFF) == VK_ESCAPE) SendMessageA(window, WM_CLOSE, 0, 0);
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFFFFFF0) == kZoomCommandBase) {
                if (dieOnZoom) ExitProcess(0);
                return 0;
            }
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--exit-code=", 12) == 0)
            exitCode = static_cast<UINT>(std::atoi(argv[i] + 12));
        else if (std::strncmp(argv[i], "--freeze-after=", 15) == 0)
            freezeAfterMs = static_cast<DWORD>(std::atoi(argv[i] + 15)) * 1000;
        else if (std::strcmp(argv[i], "--die-on-zoom") == 0)
            dieOnZoom = true;
        else {
            std::fprintf(stderr, "faulty_window: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kCaption;
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, kCaption, kCaption, WS_OVERLAPPEDWINDOW, 100, 100, 336, 239, nullptr,
                                  nullptr, nullptr, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);

    const DWORD start = GetTickCount();
    DWORD intervalStart = start;
    unsigned frames = 0;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
        ++frames;
        const DWORD now = GetTickCount();
        const bool frozen = freezeAfterMs != 0 && now - start > freezeAfterMs;
        if (now - intervalStart > kTitleEveryMs && !frozen) {
            char title[64];
            const unsigned long elapsed = now - intervalStart;
            std::snprintf(title, sizeof title, "%s %lu.%02lu fps", kCaption, frames * 1000ul / elapsed,
                          frames * 100000ul / elapsed % 100);
            SetWindowTextA(window, title);
            intervalStart = now;
            frames = 0;
        }
    }
}
