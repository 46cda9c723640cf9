// Helper process for the display tests: does one thing that ends or taints
// a process (closing the window, opening the display a second time, loading
// a library) and reports the outcome as its exit code (display_child.h).
//   display_child close esc|esc-high|wm-close|sc-close|alt-f4
//   display_child saver 0|1
//   display_child no-drawdib
//   display_child load bare|flag|path
//   display_child open
//   display_child paint-null
//   display_child no-window
#include <windows.h>

#include <cstring>
#include <string>

#include "display/display_internal.h"
#include "tests/windows/display_child.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 200;
constexpr int kFramesBeforeGivingUp = 200;
constexpr LPARAM kAltDown = 1 << 29;  // WM_SYSKEYDOWN context bit: Alt held

uint32_t Frame[kWidth * kHeight];

bool Open() { return OpenDisplay("Noise animation", kWidth, kHeight); }

bool ScreenSaverActive() {
    BOOL active = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    return active != FALSE;
}

// Posts the close request, then presents frames as the program does; a
// working close ends the process with 0 inside PresentFrame.
int Close(const std::string& how) {
    if (!Open()) return kChildOpenFailed;
    HWND window = DisplayWindow;
    if (how == "esc") {
        PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 1);
    } else if (how == "esc-high") {
        PostMessageA(window, WM_KEYDOWN, 0x100 | VK_ESCAPE, 1);  // only the low byte names the key
    } else if (how == "wm-close") {
        PostMessageA(window, WM_CLOSE, 0, 0);
    } else if (how == "sc-close") {
        PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (how == "alt-f4") {
        PostMessageA(window, WM_SYSKEYDOWN, VK_F4, kAltDown | 1);
    } else {
        return kChildBadArguments;
    }
    for (int k = 0; k < kFramesBeforeGivingUp; ++k) PresentFrame(Frame);
    return kChildSurvived;
}

int Saver(const std::string& initial) {
    // Under Wine the setting reaches the X server only once the process has
    // a window (its window-system driver loads with the first one).
    CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    const BOOL before = initial == "1" ? TRUE : FALSE;
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, before, nullptr, 0);
    if (ScreenSaverActive() != (before != FALSE)) return kChildSetupFailed;
    if (!Open()) return kChildOpenFailed;
    if (ScreenSaverActive()) return kChildSaverActiveWhileOpen;
    CloseDisplay();
    if (ScreenSaverActive() != (before != FALSE)) return kChildSaverNotRestored;
    return kChildOk;
}

int NoDrawDib() {
    if (Open()) return kChildOpenedWithoutDrawDib;
    // No class and no window may be left behind.
    WNDCLASSA wc;
    if (GetClassInfoA(GetModuleHandleA(nullptr), "Noise animation", &wc)) return kChildOpenedWithoutDrawDib;
    if (FindWindowA(nullptr, "Noise animation") != nullptr) return kChildOpenedWithoutDrawDib;
    return kChildOk;
}

// The folder a loaded module came from must be the system folder.
int CheckFromSystemFolder(HMODULE module) {
    if (module == nullptr) return kChildNotLoaded;
    char module_path[MAX_PATH] = {};
    char system_folder[MAX_PATH] = {};
    GetModuleFileNameA(module, module_path, MAX_PATH);
    const UINT length = GetSystemDirectoryA(system_folder, MAX_PATH);
    if (length == 0 || _strnicmp(module_path, system_folder, length) != 0 || module_path[length] != '\\') {
        return kChildLoadedElsewhere;
    }
    return kChildOk;
}

int Load(const std::string& how) {
    if (how == "bare") return LoadLibraryA(kDrawDibLibrary) != nullptr ? kChildOk : kChildNotLoaded;
    if (how == "flag") return CheckFromSystemFolder(LoadSystemLibrary(kDrawDibLibrary, true));
    if (how == "path") return CheckFromSystemFolder(LoadSystemLibrary(kDrawDibLibrary, false));
    return kChildBadArguments;
}

int OpenAndClose() {
    if (!Open()) return kChildOpenFailed;
    const int result = CheckFromSystemFolder(Display.library);
    CloseDisplay();
    return result;
}

// A paint before the first frame draws nothing and leaves the window
// invalid; the first PresentFrame paints and validates it.
int PaintWithoutFrame() {
    if (!Open()) return kChildOpenFailed;
    InvalidateRect(DisplayWindow, nullptr, FALSE);
    if (SendMessageA(DisplayWindow, WM_PAINT, 0, 0) != 0) return kChildPaintWithoutFrame;
    if (!GetUpdateRect(DisplayWindow, nullptr, FALSE)) return kChildPaintWithoutFrame;
    PresentFrame(Frame);
    if (GetUpdateRect(DisplayWindow, nullptr, FALSE)) return kChildFrameNotPainted;
    CloseDisplay();
    return kChildOk;
}

// Window creation refused (a CBT hook vetoes it): OpenDisplay fails and
// leaves no class registered.
LRESULT CALLBACK RefuseWindows(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) return 1;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

int NoWindow() {
    HHOOK hook = SetWindowsHookExA(WH_CBT, RefuseWindows, nullptr, GetCurrentThreadId());
    if (hook == nullptr) return kChildSetupFailed;
    const bool opened = Open();
    UnhookWindowsHookEx(hook);
    if (opened || DisplayWindow != nullptr) return kChildOpenedWithoutWindow;
    WNDCLASSA wc;
    if (GetClassInfoA(GetModuleHandleA(nullptr), "Noise animation", &wc)) return kChildOpenedWithoutWindow;
    return kChildOk;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const std::string arg = argc > 2 ? argv[2] : "";
    if (mode == "close") return Close(arg);
    if (mode == "saver") return Saver(arg);
    if (mode == "no-drawdib") return NoDrawDib();
    if (mode == "load") return Load(arg);
    if (mode == "open") return OpenAndClose();
    if (mode == "paint-null") return PaintWithoutFrame();
    if (mode == "no-window") return NoWindow();
    return kChildBadArguments;
}
