// The screen saver's command line: the forms Windows and users pass.
#include <gtest/gtest.h>

#include "screensaver/saver_args.h"

namespace {

void ExpectArgs(const char* line, SaverMode mode, bool has_window = false, uint32_t window = 0) {
    const SaverArgs args = ParseSaverArgs(line);
    EXPECT_EQ(args.mode, mode) << '"' << line << '"';
    EXPECT_EQ(args.has_window, has_window) << '"' << line << '"';
    if (has_window) {
        EXPECT_EQ(args.window, window) << '"' << line << '"';
    }
}

TEST(SaverArgs, RunFullScreenInEveryForm) {
    for (const char* line : {"/s", "/S", "-s", "-S", "  /s", "/s  ", "\t/S", "/s:12", "/s 12", "/s /p 5"})
        ExpectArgs(line, SaverMode::kShow);
}

TEST(SaverArgs, PreviewTakesTheHandleAfterAColonOrSpaces) {
    ExpectArgs("/p 123456", SaverMode::kPreview, true, 123456);
    ExpectArgs("/P:123456", SaverMode::kPreview, true, 123456);
    ExpectArgs("-p   42 extra", SaverMode::kPreview, true, 42);
    ExpectArgs("/p\t7", SaverMode::kPreview, true, 7);
    ExpectArgs("/p 4294967295", SaverMode::kPreview, true, 4294967295u);
    // A missing or bad handle: the preview ends at once.
    for (const char* line :
         {"/p", "/p:", "/p ", "/p x12", "/p 12x", "/p -5", "/p 4294967296", "/p 99999999999999999999"})
        ExpectArgs(line, SaverMode::kPreview);
}

TEST(SaverArgs, SettingsWithOrWithoutAnOwner) {
    ExpectArgs("", SaverMode::kConfigure);
    ExpectArgs("   ", SaverMode::kConfigure);
    ExpectArgs("/c", SaverMode::kConfigure);
    ExpectArgs("/C:456", SaverMode::kConfigure, true, 456);
    ExpectArgs("-c 789", SaverMode::kConfigure, true, 789);
    ExpectArgs("/c:abc", SaverMode::kConfigure);
}

TEST(SaverArgs, AnythingElseIsUnknown) {
    for (const char* line :
         {"/", "-", "s", "p 12", "/save", "/sx", "/pp 12", "/a", "/x", "/1", "//s", "\"/s\""})
        ExpectArgs(line, SaverMode::kUnknown);
}

}  // namespace
