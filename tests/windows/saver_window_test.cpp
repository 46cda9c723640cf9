// The screen saver under Wine, started by this test as Windows does it:
// the preview inside a window of this process, the settings box owned by
// one, and the arguments that end it at once. Full-screen runs are checked
// from the X side by saver_e2e.py.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

constexpr const char* kSaverClass = "Noise animation";  // class and title of the saver's windows
constexpr DWORD kStartMs = 40000;                       // Wine start-up, generous on a busy machine
constexpr DWORD kEndMs = 20000;
constexpr COLORREF kParentColour = RGB(255, 0, 0);
constexpr int kParentWidth = 240;
constexpr int kParentHeight = 150;

std::string SaverPath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    s = s.substr(0, s.find_last_of('\\'));
    return s.substr(0, s.find_last_of('\\') + 1) + "screensaver\\noise-animation.scr";
}

// Handles this thread's messages (the saver's windows send some to ours)
// until done() holds or ms have passed; returns done().
template <typename Done>
bool PumpUntil(Done done, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done()) return true;
        if (GetTickCount() - start > ms) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// The saver process, ended (by its handle) if a test leaves it running.
struct Saver {
    PROCESS_INFORMATION process{};
    bool started = false;

    explicit Saver(const std::string& args) {
        // Appended piece by piece: GCC 12's -Wrestrict misreads "..." + std::string&&.
        std::string command_line = "\"";
        command_line += SaverPath();
        command_line += "\" ";
        command_line += args;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        started = CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &process) != FALSE;
    }
    ~Saver() {
        if (!started) return;
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, kEndMs);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    bool Ended() const { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }
    // The exit code once it has ended within ms (messages handled meanwhile), else STILL_ACTIVE.
    DWORD ExitCode(DWORD ms) const {
        DWORD code = STILL_ACTIVE;
        if (PumpUntil([this] { return Ended(); }, ms)) GetExitCodeProcess(process.hProcess, &code);
        return code;
    }
};

// A top-level window of this process, with a red client area.
HWND MakeParent() {
    static const ATOM atom = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = CreateSolidBrush(kParentColour);
        wc.lpszClassName = "SaverTestParent";
        return RegisterClassA(&wc);
    }();
    if (atom == 0) return nullptr;
    RECT r = {0, 0, kParentWidth, kParentHeight};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    HWND parent =
        CreateWindowExA(0, "SaverTestParent", "Screen saver test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                        r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
    UpdateWindow(parent);
    return parent;
}

// As Windows writes a handle on a command line: its 32 significant bits.
std::string Decimal(HWND window) { return std::to_string(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window))); }

struct BoxSearch {
    DWORD process_id;
    HWND box;
};

BOOL CALLBACK MatchBox(HWND w, LPARAM l) {
    auto* search = reinterpret_cast<BoxSearch*>(l);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    char cls[32] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (pid != search->process_id || std::string(cls) != "#32770" || !IsWindowVisible(w)) return TRUE;
    search->box = w;
    return FALSE;
}

// The visible dialog-class window (a message box) of the given process.
HWND FindBox(DWORD process_id) {
    BoxSearch search = {process_id, nullptr};
    EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
    return search.box;
}

TEST(ScreenSaver, PreviewDrawsInsideItsParentAndEndsWithIt) {
    HWND parent = MakeParent();
    ASSERT_NE(parent, nullptr);
    Saver saver("/p " + Decimal(parent));
    ASSERT_TRUE(saver.started) << SaverPath();

    HWND child = nullptr;
    ASSERT_TRUE(PumpUntil(
        [&] { return (child = FindWindowExA(parent, nullptr, kSaverClass, nullptr)) != nullptr; }, kStartMs))
        << "no preview window inside the parent";
    RECT client{};
    GetClientRect(child, &client);
    EXPECT_EQ(client.right, kParentWidth);
    EXPECT_EQ(client.bottom, kParentHeight);

    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(child) != FALSE; }, kEndMs));

    // Under Wine a window of another process inside ours is drawn on no X
    // window, so its pixels cannot be read back; what shows that it is
    // painted is that an invalidation is soon painted over and validated.
    // With the saver held, the invalid area must be seen, or the check
    // would prove nothing.
    for (int k = 0; k < 3; ++k) {
        SuspendThread(saver.process.hThread);
        InvalidateRect(child, nullptr, FALSE);
        const bool invalid = GetUpdateRect(child, nullptr, FALSE) != FALSE;
        ResumeThread(saver.process.hThread);
        ASSERT_TRUE(invalid) << "the preview's update region cannot be read";
        EXPECT_TRUE(PumpUntil([&] { return !GetUpdateRect(child, nullptr, FALSE); }, kEndMs))
            << "the preview is not painted";
    }

    DestroyWindow(parent);
    EXPECT_EQ(saver.ExitCode(kEndMs), 0u) << "the preview outlived its parent";
}

TEST(ScreenSaver, SettingsBoxIsOwnedByTheGivenWindowAndEndsWithZero) {
    HWND owner = MakeParent();
    ASSERT_NE(owner, nullptr);
    for (const std::string& args :
         {"/c:" + Decimal(owner), std::string("-C ") + Decimal(owner), std::string()}) {
        Saver saver(args);
        ASSERT_TRUE(saver.started);
        HWND box = nullptr;
        ASSERT_TRUE(
            PumpUntil([&] { return (box = FindBox(saver.process.dwProcessId)) != nullptr; }, kStartMs))
            << "no message box for '" << args << "'";
        char title[64] = {};
        GetWindowTextA(box, title, sizeof title);
        EXPECT_STREQ(title, "Noise animation") << args;
        EXPECT_EQ(GetWindow(box, GW_OWNER), args.empty() ? nullptr : owner) << args;
        EXPECT_EQ(FindWindowA(kSaverClass, nullptr), nullptr) << "the settings opened the animation";
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(saver.ExitCode(kEndMs), 0u) << args;
    }
    DestroyWindow(owner);
}

TEST(ScreenSaver, BadArgumentsEndAtOnceWithZeroAndNoWindow) {
    // 1 is no window's handle; "/save" and "/x" are not arguments it knows.
    for (const char* args : {"/p 1", "/p", "/p:x12", "/save", "/x", "s"}) {
        Saver saver(args);
        ASSERT_TRUE(saver.started);
        bool window_seen = false;
        const bool ended = PumpUntil(
            [&] {
                window_seen = window_seen || FindWindowA(kSaverClass, nullptr) != nullptr;
                return saver.Ended();
            },
            kStartMs);
        ASSERT_TRUE(ended) << args << " did not end";
        EXPECT_FALSE(window_seen) << args;
        EXPECT_EQ(saver.ExitCode(0), 0u) << args;
    }
}

}  // namespace
