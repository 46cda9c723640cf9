// The message storm's plan: a seeded, reproducible sequence of the things a
// user can do to the program's window short of closing it (system commands,
// key presses, resizes, moves, minimising). Portable: the Windows storm tool
// turns each action into one posted message or one asynchronous window call,
// and the same seed always gives the same sequence on every platform.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace storm {

// Win32 message, command and key values, spelled out so that the plan builds
// without <windows.h>.
constexpr uint32_t kWmSize = 0x0005;
constexpr uint32_t kWmKeyDown = 0x0100;
constexpr uint32_t kWmSysKeyDown = 0x0104;
constexpr uint32_t kWmSysCommand = 0x0112;

constexpr uint32_t kScMinimize = 0xF020;
constexpr uint32_t kScMaximize = 0xF030;
constexpr uint32_t kScNextWindow = 0xF040;
constexpr uint32_t kScPrevWindow = 0xF050;
constexpr uint32_t kScRestore = 0xF120;
constexpr uint32_t kScDefault = 0xF160;
constexpr uint32_t kScFirst = 0xF000;  // SC_SIZE, the lowest system-defined command

constexpr uint32_t kZoomCommandBase = 1024;                           // zoom commands are 1024..1039
constexpr std::array<uint32_t, 3> kZoomMenuIds = {1025, 1026, 1028};  // the three menu items

constexpr uint32_t kSizeRestored = 0;  // WM_SIZE wParam values
constexpr uint32_t kSizeMinimized = 1;
constexpr uint32_t kSizeMaximized = 2;
constexpr uint32_t kAltDownBit = 1u << 29;  // key lParam context code: Alt held

enum class ActionKind : uint8_t {
    kZoom,            // WM_SYSCOMMAND with one of the three zoom menu identifiers
    kZoomRange,       // WM_SYSCOMMAND with another value of 1024..1039 (zoom factors 0, 3, 5, 6, 7)
    kSystemCommand,   // WM_SYSCOMMAND minimise, maximise, restore, next/previous window, default
    kUnknownCommand,  // WM_SYSCOMMAND with an application value below SC_SIZE that names nothing
    kKeyDown,         // WM_KEYDOWN of any key but Esc
    kSysKeyDown,      // WM_SYSKEYDOWN with Alt held, of a key that types no character and is not F4
    kFakeSize,        // WM_SIZE with a random client size, zero included
    kResize,          // SetWindowPos to a random outer size, zero included
    kMove,            // SetWindowPos to a random position, far off screen included
    kMinimize,        // ShowWindow SW_MINIMIZE
    kRestore,         // ShowWindow SW_RESTORE
    kCount
};
constexpr int kActionKinds = static_cast<int>(ActionKind::kCount);

// Short lower-case name of a kind, for the tool's figures.
std::string_view KindName(ActionKind kind);

// True for the kinds that are posted messages; the others are window calls.
constexpr bool IsPostedMessage(ActionKind kind) { return kind <= ActionKind::kFakeSize; }

// One step of the storm. Posted messages use message/wparam/lparam; kResize
// uses width/height, kMove uses x/y; kMinimize and kRestore use nothing.
struct Action {
    ActionKind kind = ActionKind::kKeyDown;
    uint32_t message = 0;
    uint32_t wparam = 0;
    uint32_t lparam = 0;
    int32_t x = 0, y = 0;
    int32_t width = 0, height = 0;
};

// SplitMix64: small, fast and the same everywhere, unlike the standard
// library's distributions.
struct Random {
    uint64_t state;
    uint64_t Next();
    uint32_t Below(uint32_t bound);  // uniform enough in 0..bound-1; bound > 0
};

// A set of kinds, one bit per ActionKind.
using KindMask = uint32_t;
constexpr KindMask kAllKinds = (1u << kActionKinds) - 1;
constexpr KindMask MaskOf(ActionKind kind) { return 1u << static_cast<int>(kind); }

// Parses a comma-separated list of kind names ("keydown,zoom") into a mask;
// false for an empty list or an unknown name.
bool ParseKinds(std::string_view list, KindMask* mask);

// Draws the next action. Screen size bounds the positions and sizes: moves
// go up to a few screens away in every direction. With keep_minimised the
// draw is limited to kinds that leave a minimised window minimised (keys,
// WM_SIZE, unknown commands, minimise). Only kinds in the mask are drawn;
// when none of the allowed kinds is in it, the action is a key press.
Action NextAction(Random& random, int32_t screen_width, int32_t screen_height, bool keep_minimised,
                  KindMask kinds = kAllKinds);

}  // namespace storm
