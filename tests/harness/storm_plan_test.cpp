// The storm plan: reproducible, covers every kind of abuse, and never asks
// the window to close or to enter a modal loop.
#include <gtest/gtest.h>

#include <set>

#include "soak/storm_plan.h"

namespace {

using storm::Action;
using storm::ActionKind;

constexpr int32_t kScreenW = 1024;
constexpr int32_t kScreenH = 768;

// Keys that type a character; with Alt held they reach the system menu's
// mnemonics (close, move, size) through WM_SYSCHAR.
bool TypesCharacter(uint32_t vk) {
    return (vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z') || (vk >= 0x60 && vk <= 0x6F) ||
           (vk >= 0xBA && vk <= 0xE2) || vk == 0x20 || vk == 0x0D || vk == 0x09 || vk == 0x08;
}

// Checks one action against everything the storm must never do; returns
// an empty string when it is harmless.
std::string Harm(const Action& a) {
    if (a.message == 0x0100 && (a.wparam & 0xFF) == 0x1B) return "Esc key";
    if (a.message == 0x0104) {
        if (a.wparam == 0x73) return "Alt+F4";
        if (a.wparam == 0x79 || a.wparam == 0x12) return "menu key";
        if (TypesCharacter(a.wparam)) return "Alt+character";
        if ((a.lparam & (1u << 29)) == 0) return "system key without Alt";
    }
    if (a.message == 0x0112 && a.wparam >= 0xF000) {
        static const std::set<uint32_t> allowed = {0xF020, 0xF030, 0xF040, 0xF050, 0xF120, 0xF160};
        if (!allowed.count(a.wparam & 0xFFF0)) return "system command " + std::to_string(a.wparam);
    }
    return {};
}

TEST(StormPlan, SameSeedGivesSameSequence) {
    storm::Random a{12345}, b{12345}, c{12346};
    int differing = 0;
    for (int i = 0; i < 1000; ++i) {
        Action x = storm::NextAction(a, kScreenW, kScreenH, i % 7 == 0);
        Action y = storm::NextAction(b, kScreenW, kScreenH, i % 7 == 0);
        Action z = storm::NextAction(c, kScreenW, kScreenH, i % 7 == 0);
        ASSERT_EQ(x.kind, y.kind) << "draw " << i;
        ASSERT_EQ(x.message, y.message) << "draw " << i;
        ASSERT_EQ(x.wparam, y.wparam) << "draw " << i;
        ASSERT_EQ(x.lparam, y.lparam) << "draw " << i;
        ASSERT_EQ(x.x, y.x) << "draw " << i;
        ASSERT_EQ(x.height, y.height) << "draw " << i;
        if (x.kind != z.kind || x.wparam != z.wparam || x.x != z.x) ++differing;
    }
    EXPECT_GT(differing, 500) << "a neighbouring seed should give a different storm";
}

TEST(StormPlan, NeverClosesTheWindowOrStartsAModalLoop) {
    storm::Random random{0xC0FFEE};
    for (int i = 0; i < 200000; ++i) {
        Action a = storm::NextAction(random, kScreenW, kScreenH, i % 3 == 0);
        std::string harm = Harm(a);
        ASSERT_TRUE(harm.empty()) << "draw " << i << ": " << harm;
        if (storm::IsPostedMessage(a.kind)) {
            ASSERT_NE(a.message, 0u) << "draw " << i;
        }
    }
}

TEST(StormPlan, CoversEveryKindAndTheOddZoomValues) {
    storm::Random random{7};
    std::set<ActionKind> kinds;
    std::set<uint32_t> zoom_menu, zoom_range, syscommands;
    std::set<uint32_t> keys;
    for (int i = 0; i < 20000; ++i) {
        Action a = storm::NextAction(random, kScreenW, kScreenH, false);
        kinds.insert(a.kind);
        if (a.kind == ActionKind::kZoom) zoom_menu.insert(a.wparam);
        if (a.kind == ActionKind::kZoomRange) zoom_range.insert(a.wparam);
        if (a.kind == ActionKind::kSystemCommand) syscommands.insert(a.wparam);
        if (a.kind == ActionKind::kKeyDown) keys.insert(a.wparam);
    }
    EXPECT_EQ(kinds.size(), static_cast<size_t>(storm::kActionKinds));
    EXPECT_EQ(zoom_menu, (std::set<uint32_t>{1025, 1026, 1028}));
    // Every other value the window procedure takes for a zoom, factor 0 included.
    EXPECT_EQ(zoom_range.size(), 13u);
    EXPECT_TRUE(zoom_range.count(1024) && zoom_range.count(1032) && zoom_range.count(1039));
    EXPECT_EQ(syscommands.size(), 6u);
    EXPECT_EQ(keys.size(), 253u) << "every key code but Esc";
}

TEST(StormPlan, SizesReachZeroAndPositionsLeaveTheScreen) {
    storm::Random random{99};
    int zero_width = 0, zero_height = 0, beyond = 0, far_left = 0, far_below = 0, on_screen = 0;
    int fake_zero = 0;
    for (int i = 0; i < 20000; ++i) {
        Action a = storm::NextAction(random, kScreenW, kScreenH, false);
        if (a.kind == ActionKind::kResize) {
            zero_width += a.width == 0;
            zero_height += a.height == 0;
            beyond += a.width > kScreenW;
            ASSERT_GE(a.width, 0);
            ASSERT_GE(a.height, 0);
        }
        if (a.kind == ActionKind::kMove) {
            far_left += a.x < -kScreenW;
            far_below += a.y > 2 * kScreenH;
            on_screen += a.x >= 0 && a.x < kScreenW && a.y >= 0 && a.y < kScreenH;
        }
        if (a.kind == ActionKind::kFakeSize) {
            EXPECT_EQ(a.lparam & 0xFFFF, static_cast<uint32_t>(a.width));
            EXPECT_EQ(a.lparam >> 16, static_cast<uint32_t>(a.height));
            fake_zero += a.lparam == 0;
        }
    }
    EXPECT_GT(zero_width, 50);
    EXPECT_GT(zero_height, 50);
    EXPECT_GT(beyond, 50);
    EXPECT_GT(far_left, 20);
    EXPECT_GT(far_below, 20);
    EXPECT_GT(on_screen, 20);
    EXPECT_GT(fake_zero, 5) << "a zero-sized client area must be among the WM_SIZE values";
}

TEST(StormPlan, MinimisedPhaseNeverRestoresTheWindow) {
    storm::Random random{2024};
    std::set<ActionKind> kinds;
    for (int i = 0; i < 20000; ++i) {
        Action a = storm::NextAction(random, kScreenW, kScreenH, true);
        kinds.insert(a.kind);
        ASSERT_NE(a.kind, ActionKind::kRestore);
        ASSERT_NE(a.kind, ActionKind::kResize);
        ASSERT_NE(a.kind, ActionKind::kMove);
        ASSERT_NE(a.kind, ActionKind::kZoom);
        ASSERT_NE(a.kind, ActionKind::kZoomRange);
        ASSERT_NE(a.kind, ActionKind::kSystemCommand) << "SC_RESTORE and SC_MAXIMIZE would restore";
    }
    EXPECT_EQ(kinds.size(), 5u);
}

TEST(StormPlan, RandomBelowIsBoundedAndEven) {
    storm::Random random{1};
    std::array<int, 10> buckets{};
    for (int i = 0; i < 100000; ++i) {
        uint32_t v = random.Below(10);
        ASSERT_LT(v, 10u);
        ++buckets[v];
    }
    for (int count : buckets) {
        EXPECT_GT(count, 9000);
        EXPECT_LT(count, 11000);
    }
    EXPECT_EQ(random.Below(1), 0u);
}

}  // namespace
