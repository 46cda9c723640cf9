// Drawing the storm's actions; see storm_plan.h.
#include "soak/storm_plan.h"

namespace storm {
namespace {

// Relative frequencies of the kinds, in ActionKind order. Key presses
// dominate, as they do when a user leans on the keyboard; moves, resizes,
// minimise and restore are rarer, since each costs the window system far
// more than a message does.
constexpr std::array<uint32_t, kActionKinds> kWeights = {
    10,  // zoom
    3,   // zoom-range
    8,   // system command
    4,   // unknown command
    30,  // key down
    15,  // system key down
    8,   // WM_SIZE
    4,   // resize
    3,   // move
    2,   // minimise
    2,   // restore
};

// Kinds that leave a minimised window minimised, and their frequencies.
constexpr std::array<ActionKind, 5> kMinimisedKinds = {ActionKind::kKeyDown, ActionKind::kSysKeyDown,
                                                       ActionKind::kFakeSize, ActionKind::kUnknownCommand,
                                                       ActionKind::kMinimize};
constexpr std::array<uint32_t, 5> kMinimisedWeights = {30, 15, 8, 4, 1};

constexpr std::array<uint32_t, 6> kSystemCommands = {kScMinimize,   kScMaximize,   kScRestore,
                                                     kScNextWindow, kScPrevWindow, kScDefault};

// Keys sent with Alt held: function keys other than F4 (Alt+F4 closes) and
// F10 (opens the menu), and navigation keys. None of them types a character,
// so no WM_SYSCHAR reaches the system menu's mnemonics.
constexpr std::array<uint32_t, 29> kSystemKeys = {
    0x70, 0x71, 0x72,                                      // F1..F3
    0x74, 0x75, 0x76, 0x77, 0x78,                          // F5..F9
    0x7A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F, 0x80, 0x81, 0x82,  // F11..F19
    0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28,        // page up/down, end, home, arrows
    0x2D,                                                  // insert
    0x10, 0x11, 0x13,                                      // shift, control, pause
};

constexpr uint32_t kEscapeKey = 0x1B;

template <size_t N>
size_t DrawWeighted(Random& random, const std::array<uint32_t, N>& weights) {
    uint32_t total = 0;
    for (uint32_t w : weights) total += w;
    if (total == 0) return N;  // nothing allowed
    uint32_t pick = random.Below(total);
    for (size_t i = 0; i < N; ++i) {
        if (pick < weights[i]) return i;
        pick -= weights[i];
    }
    return N - 1;
}

// A window dimension: often zero or tiny, mostly ordinary, sometimes beyond
// the screen.
int32_t DrawSize(Random& random, int32_t screen) {
    uint32_t band = random.Below(10);
    if (band < 2) return 0;
    if (band < 3) return 1 + static_cast<int32_t>(random.Below(16));
    if (band < 8) return 17 + static_cast<int32_t>(random.Below(static_cast<uint32_t>(screen)));
    return screen + static_cast<int32_t>(random.Below(static_cast<uint32_t>(screen)));
}

// A window coordinate: on screen, partly off, or several screens away.
int32_t DrawPosition(Random& random, int32_t screen) {
    uint32_t band = random.Below(10);
    uint32_t span = static_cast<uint32_t>(screen);
    if (band < 4) return static_cast<int32_t>(random.Below(span));
    if (band < 7) return static_cast<int32_t>(random.Below(3 * span)) - screen;
    int32_t far = static_cast<int32_t>(random.Below(8 * span)) - 4 * screen;
    return far < 0 ? far - 2 * screen : far + 2 * screen;
}

uint32_t KeyLParam(bool alt) { return 1u | (alt ? kAltDownBit : 0u); }  // repeat count 1

}  // namespace

uint64_t Random::Next() {
    state += 0x9E3779B97F4A7C15ull;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint32_t Random::Below(uint32_t bound) {
    // The top 32 bits scaled to the bound: bias below 2^-32 per value.
    return static_cast<uint32_t>(((Next() >> 32) * bound) >> 32);
}

std::string_view KindName(ActionKind kind) {
    switch (kind) {
        case ActionKind::kZoom:
            return "zoom";
        case ActionKind::kZoomRange:
            return "zoom-range";
        case ActionKind::kSystemCommand:
            return "syscommand";
        case ActionKind::kUnknownCommand:
            return "unknown-command";
        case ActionKind::kKeyDown:
            return "keydown";
        case ActionKind::kSysKeyDown:
            return "syskeydown";
        case ActionKind::kFakeSize:
            return "wm-size";
        case ActionKind::kResize:
            return "resize";
        case ActionKind::kMove:
            return "move";
        case ActionKind::kMinimize:
            return "minimise";
        case ActionKind::kRestore:
            return "restore";
        case ActionKind::kCount:
            break;
    }
    return "?";
}

bool ParseKinds(std::string_view list, KindMask* mask) {
    KindMask result = 0;
    while (!list.empty()) {
        size_t comma = list.find(',');
        std::string_view name = list.substr(0, comma);
        int kind = 0;
        while (kind < kActionKinds && KindName(static_cast<ActionKind>(kind)) != name) ++kind;
        if (kind == kActionKinds) return false;
        result |= MaskOf(static_cast<ActionKind>(kind));
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    if (result == 0) return false;
    *mask = result;
    return true;
}

Action NextAction(Random& random, int32_t screen_width, int32_t screen_height, bool keep_minimised,
                  KindMask kinds) {
    Action a;
    if (keep_minimised) {
        std::array<uint32_t, kMinimisedKinds.size()> weights = kMinimisedWeights;
        for (size_t i = 0; i < weights.size(); ++i)
            if (!(kinds & MaskOf(kMinimisedKinds[i]))) weights[i] = 0;
        size_t pick = DrawWeighted(random, weights);
        a.kind = pick < weights.size() ? kMinimisedKinds[pick] : ActionKind::kKeyDown;
    } else {
        std::array<uint32_t, kActionKinds> weights = kWeights;
        for (size_t i = 0; i < weights.size(); ++i)
            if (!(kinds & (1u << i))) weights[i] = 0;
        size_t pick = DrawWeighted(random, weights);
        a.kind = pick < weights.size() ? static_cast<ActionKind>(pick) : ActionKind::kKeyDown;
    }
    switch (a.kind) {
        case ActionKind::kZoom:
            a.message = kWmSysCommand;
            a.wparam = kZoomMenuIds[random.Below(static_cast<uint32_t>(kZoomMenuIds.size()))];
            break;
        case ActionKind::kZoomRange: {
            a.message = kWmSysCommand;
            uint32_t value;
            do value = kZoomCommandBase + random.Below(16);
            while (value == 1025 || value == 1026 || value == 1028);
            a.wparam = value;
            break;
        }
        case ActionKind::kSystemCommand:
            a.message = kWmSysCommand;
            a.wparam = kSystemCommands[random.Below(static_cast<uint32_t>(kSystemCommands.size()))];
            break;
        case ActionKind::kUnknownCommand: {
            a.message = kWmSysCommand;
            uint32_t value;
            do value = random.Below(kScFirst);
            while (value >= kZoomCommandBase && value < kZoomCommandBase + 16);
            a.wparam = value;
            break;
        }
        case ActionKind::kKeyDown: {
            a.message = kWmKeyDown;
            uint32_t key;
            do key = 1 + random.Below(254);
            while (key == kEscapeKey);
            a.wparam = key;
            a.lparam = KeyLParam(false);
            break;
        }
        case ActionKind::kSysKeyDown:
            a.message = kWmSysKeyDown;
            a.wparam = kSystemKeys[random.Below(static_cast<uint32_t>(kSystemKeys.size()))];
            a.lparam = KeyLParam(true);
            break;
        case ActionKind::kFakeSize: {
            a.message = kWmSize;
            constexpr std::array<uint32_t, 3> kSizeKinds = {kSizeRestored, kSizeMinimized, kSizeMaximized};
            a.wparam = kSizeKinds[random.Below(3)];
            // WM_SIZE carries 16-bit dimensions.
            a.width = DrawSize(random, screen_width) & 0xFFFF;
            a.height = DrawSize(random, screen_height) & 0xFFFF;
            a.lparam = static_cast<uint32_t>(a.width) | (static_cast<uint32_t>(a.height) << 16);
            break;
        }
        case ActionKind::kResize:
            a.width = DrawSize(random, screen_width);
            a.height = DrawSize(random, screen_height);
            break;
        case ActionKind::kMove:
            a.x = DrawPosition(random, screen_width);
            a.y = DrawPosition(random, screen_height);
            break;
        case ActionKind::kMinimize:
        case ActionKind::kRestore:
        case ActionKind::kCount:
            break;
    }
    return a;
}

}  // namespace storm
