// The display window, in this process (one window opened once and never
// closed here, since closing ends the process) and in display_child.exe for
// everything that closes windows, ends processes or loads libraries.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "display/display_internal.h"
#include "tests/windows/display_child.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 200;
constexpr DWORD kChildTimeoutMs = 30000;
constexpr DWORD kNotFinished = 0xFFFFFFFF;

// ---- the shared window -----------------------------------------------------

RECT InitialWindowRect;

HWND SharedWindow() {
    static const bool opened = [] {
        const bool ok = OpenDisplay("Noise animation", kWidth, kHeight);
        if (ok) GetWindowRect(DisplayWindow, &InitialWindowRect);
        return ok;
    }();
    return opened ? DisplayWindow : nullptr;
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }
int ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
int ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

// Centred position, halved toward minus infinity, computed independently.
int FloorHalf(int difference) { return static_cast<int>(std::floor(difference / 2.0)); }

RECT WindowRect() {
    RECT r{};
    GetWindowRect(DisplayWindow, &r);
    return r;
}

// ---- child processes -------------------------------------------------------

std::string ChildPath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    return s.substr(0, s.find_last_of('\\') + 1) + "display_child.exe";
}

std::string GetEnv(const char* name) {
    char value[1024] = {};
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? value : "";
}

// Runs display_child.exe with args and extra environment variables; returns
// its exit code, or kNotFinished (after ending it) when it overran the bound.
DWORD RunChild(const std::string& args, const std::vector<std::pair<const char*, std::string>>& env = {}) {
    std::vector<std::pair<const char*, std::string>> saved;
    for (const auto& [name, value] : env) {
        saved.emplace_back(name, GetEnv(name));
        SetEnvironmentVariableA(name, value.c_str());
    }
    std::string command_line = ChildPath();
    command_line.insert(command_line.begin(), '"');
    command_line += "\" ";
    command_line += args;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(nullptr,             /* application: from the command line */
                                        command_line.data(), /* command line */
                                        nullptr,             /* process security */
                                        nullptr,             /* thread security */
                                        FALSE,               /* inherit handles */
                                        0,                   /* creation flags */
                                        nullptr,             /* environment: ours, as just set */
                                        nullptr,             /* current directory */
                                        &startup,            /* startup info */
                                        &process);           /* process info */
    for (const auto& [name, value] : saved)
        SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
    if (!started) {
        ADD_FAILURE() << "cannot start " << command_line;
        return kNotFinished;
    }
    DWORD code = kNotFinished;
    if (WaitForSingleObject(process.hProcess, kChildTimeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    } else {
        TerminateProcess(process.hProcess, kNotFinished);
        WaitForSingleObject(process.hProcess, kChildTimeoutMs);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

std::string TempFilePath(const char* stem) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + stem + "-" + std::to_string(GetCurrentProcessId()) + ".marker";
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// ---- in this process -------------------------------------------------------

TEST(DisplayWindow, CentredPositionHalvesTowardMinusInfinity) {
    EXPECT_EQ(CentredPosition(1024, 336), 344);
    EXPECT_EQ(CentredPosition(768, 239), 264);
    EXPECT_EQ(CentredPosition(0, 5), -3);
    EXPECT_EQ(CentredPosition(768, 1673), -453);
    EXPECT_EQ(CentredPosition(5, 0), 2);
}

TEST(DisplayWindow, OpensWithImageSizedClientAreaCentredOnScreen) {
    HWND window = SharedWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(Width(client), kWidth);
    EXPECT_EQ(Height(client), kHeight);
    EXPECT_EQ(InitialWindowRect.left, FloorHalf(ScreenWidth() - Width(InitialWindowRect)));
    EXPECT_EQ(InitialWindowRect.top, FloorHalf(ScreenHeight() - Height(InitialWindowRect)));
    EXPECT_GT(Width(InitialWindowRect), kWidth);    // the frame is outside the image
    EXPECT_GT(Height(InitialWindowRect), kHeight);  // and so is the caption

    char title[64] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "Noise animation");
    EXPECT_EQ(FindWindowA("Noise animation", nullptr), window);
}

TEST(DisplayWindow, WindowKeepsItsDcAndShowsTheIconAndArrow) {
    HWND window = SharedWindow();
    ASSERT_NE(window, nullptr);
    // The window keeps one device context for its life, so the one the
    // display took when it opened is still the one every GetDC gives.
    HDC first = GetDC(window);
    HDC second = GetDC(window);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, Display.dc);
    ReleaseDC(window, second);
    ReleaseDC(window, first);
    EXPECT_EQ(GetClassLongPtrA(window, GCLP_HBRBACKGROUND), 0u)
        << "a background brush would flash under each frame";
    EXPECT_NE(GetClassLongPtrA(window, GCLP_HICON), 0u) << "the IDI_MAIN icon group is missing";
    EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrA(window, GCLP_HCURSOR)), LoadCursorA(nullptr, IDC_ARROW));
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW) << "the window cannot be sized, moved or minimised";
}

// Width and height of an icon's colour (or, for monochrome, mask) bitmap.
SIZE IconBitmapSize(HICON icon, bool* monochrome) {
    ICONINFO info{};
    SIZE size{};
    if (!GetIconInfo(icon, &info)) return size;
    BITMAP bitmap{};
    *monochrome = info.hbmColor == nullptr;
    GetObjectA(*monochrome ? info.hbmMask : info.hbmColor, sizeof bitmap, &bitmap);
    size.cx = bitmap.bmWidth;
    size.cy = *monochrome ? bitmap.bmHeight / 2 : bitmap.bmHeight;  // a mono mask stacks AND over XOR
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return size;
}

TEST(DisplayWindow, IconGroupHoldsTwoColourSizesAndAMonochromeImage) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    for (int side : {32, 16}) {
        HICON icon =
            static_cast<HICON>(LoadImageA(instance, "IDI_MAIN", IMAGE_ICON, side, side, LR_DEFAULTCOLOR));
        ASSERT_NE(icon, nullptr) << side;
        bool monochrome = true;
        const SIZE size = IconBitmapSize(icon, &monochrome);
        EXPECT_EQ(size.cx, side);
        EXPECT_EQ(size.cy, side);
        EXPECT_FALSE(monochrome) << side;
        DestroyIcon(icon);
    }
    // The group directory: a 32x32 and a 16x16 sixteen-colour image and a
    // 32x32 two-colour one (14-byte packed entries after a 6-byte header).
    HRSRC group = FindResourceA(instance, "IDI_MAIN", MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(instance, group)));
    ASSERT_NE(bytes, nullptr);
    ASSERT_EQ(bytes[4] | bytes[5] << 8, 3) << "image count";
    const int expected[3][4] = {{32, 32, 16, 4}, {16, 16, 16, 4}, {32, 32, 2, 1}};  // w, h, colours, bits
    for (int k = 0; k < 3; ++k) {
        const BYTE* entry = bytes + 6 + 14 * k;
        EXPECT_EQ(entry[0], expected[k][0]) << k;
        EXPECT_EQ(entry[1], expected[k][1]) << k;
        EXPECT_EQ(entry[2], expected[k][2]) << k;
        EXPECT_EQ(entry[6] | entry[7] << 8, expected[k][3]) << k;
    }
}

TEST(DisplayWindow, SystemMenuEndsWithTheZoomItems) {
    HWND window = SharedWindow();
    ASSERT_NE(window, nullptr);
    HMENU menu = GetSystemMenu(window, FALSE);
    ASSERT_NE(menu, nullptr);
    const int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 3);
    const struct {
        UINT id;
        const char* text;
    } expected[] = {{1025, "Zoom 1 x 1"}, {1026, "Zoom 2 x 2"}, {1028, "Zoom 4 x 4"}};
    for (int k = 0; k < 3; ++k) {
        const int position = count - 3 + k;
        EXPECT_EQ(GetMenuItemID(menu, position), expected[k].id) << position;
        char text[64] = {};
        GetMenuStringA(menu, static_cast<UINT>(position), text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, expected[k].text) << position;
    }
}

// The size the window gets for a requested outer size: the system caps a
// sizable window at its largest tracking size.
int Capped(int requested, int metric) { return std::min(requested, GetSystemMetrics(metric)); }

void ExpectZoomed(int factor) {
    const int width = Width(InitialWindowRect) * factor;
    const int height = Height(InitialWindowRect) * factor;
    const RECT r = WindowRect();
    EXPECT_EQ(r.left, FloorHalf(ScreenWidth() - width)) << "zoom " << factor;
    EXPECT_EQ(r.top, FloorHalf(ScreenHeight() - height)) << "zoom " << factor;
    EXPECT_EQ(Width(r), Capped(width, SM_CXMAXTRACK)) << "zoom " << factor;
    EXPECT_EQ(Height(r), Capped(height, SM_CYMAXTRACK)) << "zoom " << factor;
}

TEST(DisplayWindow, ZoomCommandsResizeAndRecentre) {
    HWND window = SharedWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(SendMessageA(window, WM_SYSCOMMAND, 1026, 0), 0);
    ExpectZoomed(2);
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_GT(Width(client), 2 * kWidth);  // the frame is doubled too

    SendMessageA(window, WM_SYSCOMMAND, 1028, 0);
    ExpectZoomed(4);
    const RECT big = WindowRect();
    EXPECT_LT(big.left, 0) << "a window wider than the screen starts left of it";
    EXPECT_LT(big.top, 0);

    // Any command 1024..1039 is a zoom by its low three bits; factor 7 gives
    // odd negative differences, which halve toward minus infinity.
    SendMessageA(window, WM_SYSCOMMAND, 1024 + 7, 0);
    ExpectZoomed(7);

    // 1040 is not a zoom command and changes nothing.
    SendMessageA(window, WM_SYSCOMMAND, 1025, 0);
    ExpectZoomed(1);
    SendMessageA(window, WM_SYSCOMMAND, 1040 + 2, 0);
    ExpectZoomed(1);
    EXPECT_EQ(WindowRect().left, InitialWindowRect.left);
    EXPECT_EQ(WindowRect().top, InitialWindowRect.top);
    GetClientRect(window, &client);
    EXPECT_EQ(Width(client), kWidth);
    EXPECT_EQ(Height(client), kHeight);
}

TEST(DisplayWindow, KeyDownIsSwallowedExceptEscape) {
    HWND window = SharedWindow();
    ASSERT_NE(window, nullptr);
    for (WPARAM key = 0; key < 256; ++key) {
        if (key == VK_ESCAPE) continue;
        ASSERT_EQ(SendMessageA(window, WM_KEYDOWN, key, 1), 0) << key;
        ASSERT_EQ(SendMessageA(window, WM_KEYDOWN, key | 0x1200, 1), 0) << key;  // high bits ignored, not Esc
    }
    EXPECT_TRUE(IsWindow(window)) << "a key other than Esc closed the window";
    EXPECT_TRUE(IsWindowVisible(window));
}

TEST(DisplayWindow, OtherMessagesReachTheDefaultHandler) {
    HWND window = SharedWindow();
    ASSERT_NE(window, nullptr);
    // WM_SETTEXT and WM_GETTEXT are the default handler's.
    SetDisplayTitle("Noise animation 12.34 fps");
    char title[64] = {};
    EXPECT_EQ(SendMessageA(window, WM_GETTEXT, sizeof title, reinterpret_cast<LPARAM>(title)), 25);
    EXPECT_STREQ(title, "Noise animation 12.34 fps");
    // The default handler answers WM_NCHITTEST for the client area.
    RECT client{};
    GetClientRect(window, &client);
    POINT centre{client.right / 2, client.bottom / 2};
    ClientToScreen(window, &centre);
    EXPECT_EQ(SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(centre.x, centre.y)), HTCLIENT);
    SetDisplayTitle("Noise animation");
}

TEST(DisplayWindow, ScreenSaverIsOffWhileOpen) {
    ASSERT_NE(SharedWindow(), nullptr);
    BOOL active = TRUE;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0));
    EXPECT_FALSE(active);
}

COLORREF ClientPixel(int x, int y) { return GetPixel(Display.dc, x, y); }

TEST(DisplayWindow, FrameIsStretchedBottomUpOverTheClientArea) {
    HWND window = SharedWindow();
    ASSERT_NE(window, nullptr);
    // Rows 0..99 in memory (the bottom half on screen) red, the rest blue;
    // column 0 green in every row.
    static uint32_t frame[kWidth * kHeight];
    for (int r = 0; r < kHeight; ++r) {
        for (int c = 0; c < kWidth; ++c)
            frame[r * kWidth + c] = c == 0 ? 0x0000FF00u : r < kHeight / 2 ? 0x00FF0000u : 0x000000FFu;
    }
    for (int factor : {1, 2}) {
        SendMessageA(window, WM_SYSCOMMAND, 1024 + static_cast<WPARAM>(factor), 0);
        EXPECT_TRUE(PresentFrame(frame));
        EXPECT_EQ(Display.frame, frame);
        EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE)) << "the paint must validate the window";
        RECT client{};
        GetClientRect(window, &client);
        const int right = client.right - 1, bottom = client.bottom - 1;
        EXPECT_EQ(ClientPixel(right, bottom), RGB(255, 0, 0)) << "zoom " << factor;
        EXPECT_EQ(ClientPixel(right, 0), RGB(0, 0, 255)) << "zoom " << factor;
        EXPECT_EQ(ClientPixel(right / 2, bottom / 4), RGB(0, 0, 255)) << "zoom " << factor;
        EXPECT_EQ(ClientPixel(right / 2, bottom * 3 / 4), RGB(255, 0, 0)) << "zoom " << factor;
        EXPECT_EQ(ClientPixel(0, bottom / 2), RGB(0, 255, 0)) << "zoom " << factor;
    }
    SendMessageA(window, WM_SYSCOMMAND, 1025, 0);
}

TEST(DisplayWindow, PresentFrameDrainsOnlyThisWindowsMessages) {
    HWND window = SharedWindow();
    ASSERT_NE(window, nullptr);
    static uint32_t frame[kWidth * kHeight];
    constexpr UINT kProbe = WM_APP + 7;
    ASSERT_TRUE(PostMessageA(window, kProbe, 1, 0));
    ASSERT_TRUE(PostMessageA(window, kProbe, 2, 0));
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), kProbe, 3, 0));
    EXPECT_TRUE(PresentFrame(frame));
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, window, kProbe, kProbe, PM_NOREMOVE)) << "window messages were left";
    ASSERT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), kProbe, kProbe, PM_REMOVE))
        << "a thread message was taken by the drain";
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_TRUE(PresentFrame(frame));  // nothing pending: returns after one paint
}

// ---- in child processes ----------------------------------------------------

TEST(DisplayWindow, CloseRequestsEndTheProcessWithExitCodeZero) {
    for (const char* how : {"esc", "esc-high", "wm-close", "sc-close", "alt-f4"}) {
        EXPECT_EQ(RunChild(std::string("close ") + how), static_cast<DWORD>(kChildOk)) << how;
    }
    // The helper's own failure path, so a child that never ran cannot pass.
    EXPECT_EQ(RunChild("close nothing"), static_cast<DWORD>(kChildBadArguments));
}

TEST(DisplayWindow, ScreenSaverIsPutBackAsItWasAfterClose) {
    EXPECT_EQ(RunChild("saver 1"), static_cast<DWORD>(kChildOk));
    EXPECT_EQ(RunChild("saver 0"), static_cast<DWORD>(kChildOk));
}

TEST(DisplayWindow, OpenFailsWhenTheWindowCannotBeCreated) {
    EXPECT_EQ(RunChild("no-window"), static_cast<DWORD>(kChildOk));
}

TEST(DisplayWindow, PaintBeforeTheFirstFrameDrawsNothing) {
    EXPECT_EQ(RunChild("paint-null"), static_cast<DWORD>(kChildOk));
}

// The next two tests need Wine's DLL load order set from outside (children
// inherit it; a Windows process cannot change it for them), so each has its
// own CTest entry with WINEDLLOVERRIDES set, and skips elsewhere.
bool OverridesInclude(const char* entry) {
    return GetEnv("WINEDLLOVERRIDES").find(entry) != std::string::npos;
}

TEST(DisplayWindow, OpenFailsWhenDrawDibIsDisabled) {
    if (!OverridesInclude("msvfw32=d")) GTEST_SKIP() << "needs WINEDLLOVERRIDES with msvfw32=d";
    EXPECT_FALSE(OpenDisplay("Noise animation", kWidth, kHeight));
    EXPECT_EQ(DisplayWindow, nullptr);
    WNDCLASSA wc;
    EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(nullptr), "Noise animation", &wc)) << "class left registered";
    EXPECT_EQ(FindWindowA("Noise animation", nullptr), nullptr);
    EXPECT_EQ(RunChild("no-drawdib"), static_cast<DWORD>(kChildOk));
}

TEST(DisplayWindow, WithDrawDibTheSameChecksFail) {
    if (OverridesInclude("msvfw32=d")) GTEST_SKIP() << "DrawDib is disabled in this run";
    EXPECT_EQ(RunChild("no-drawdib"), static_cast<DWORD>(kChildOpenedWithoutDrawDib));
}

TEST(DisplayWindow, PlantedLibraryBesideTheProgramIsNeverLoaded) {
    // A msvfw32.dll that leaves a marker when loaded sits beside
    // display_child.exe; with native-first load order it wins any search
    // that looks in the program's folder.
    if (!OverridesInclude("msvfw32=n,b")) GTEST_SKIP() << "needs WINEDLLOVERRIDES with msvfw32=n,b";
    const std::string marker = TempFilePath("planted-msvfw32");
    const std::vector<std::pair<const char*, std::string>> env = {{"NOISE_PLANTED_MARKER", marker}};
    DeleteFileA(marker.c_str());

    ASSERT_EQ(RunChild("load bare", env), static_cast<DWORD>(kChildOk));
    ASSERT_TRUE(FileExists(marker)) << "the planted library is not effective: the test proves nothing";
    DeleteFileA(marker.c_str());

    for (const char* how : {"load flag", "load path", "open"}) {
        EXPECT_EQ(RunChild(how, env), static_cast<DWORD>(kChildOk)) << how;
        EXPECT_FALSE(FileExists(marker)) << how << " ran the planted library";
        DeleteFileA(marker.c_str());
    }
}

}  // namespace
