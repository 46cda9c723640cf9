// The noise-frame command line: accepted forms, every kind of rejected
// input, and output path patterns checked against printf itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/frame_args.h"
#include "tools/frame_memory.h"

namespace {

struct Parsed {
    bool ok = false;
    FrameArgs args;
    std::string error;
};

Parsed Parse(std::vector<std::string> words) {
    std::vector<const char*> argv;
    for (const auto& w : words) argv.push_back(w.c_str());
    Parsed p;
    p.ok = ParseFrameArgs(static_cast<int>(argv.size()), argv.data(), &p.args, &p.error);
    return p;
}

uint32_t SeedOf(const std::string& text) {
    const Parsed p = Parse({"--seed", text, "--time", "0"});
    EXPECT_TRUE(p.ok) << text << ": " << p.error;
    return p.args.seed;
}

TEST(FrameArgs, MinimalCommandHasDocumentedDefaults) {
    const Parsed p = Parse({"--seed", "1", "--time", "999"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_FALSE(p.args.help);
    EXPECT_EQ(p.args.seed, 1u);
    EXPECT_EQ(p.args.schedule.time, 999u);
    EXPECT_EQ(p.args.frames, 1u);
    EXPECT_EQ(p.args.schedule.step, 1u);
    EXPECT_EQ(p.args.format, FrameFormat::kRaw);
    EXPECT_TRUE(p.args.to_stdout);
}

TEST(FrameArgs, SeedAcceptsSignedUnsignedAndHex) {
    EXPECT_EQ(SeedOf("0"), 0u);
    EXPECT_EQ(SeedOf("42"), 42u);
    EXPECT_EQ(SeedOf("007"), 7u);  // decimal, not octal
    EXPECT_EQ(SeedOf("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(SeedOf("4294967295"), 0xFFFFFFFFu);
    EXPECT_EQ(SeedOf("-2147483648"), 0x80000000u);
    EXPECT_EQ(SeedOf("2147483648"), 0x80000000u);
    EXPECT_EQ(SeedOf("0x80000000"), 0x80000000u);
    EXPECT_EQ(SeedOf("0XdeadBEEF"), 0xDEADBEEFu);
    EXPECT_EQ(SeedOf("0x00000000000000001"), 1u);
}

TEST(FrameArgs, TimeMsFramesStepAndEqualsForms) {
    Parsed p = Parse({"--seed=5", "--ms", "2999", "--frames", "30", "--step=-1"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.args.seed, 5u);
    EXPECT_EQ(p.args.schedule.time, 999u);  // 2999 div 3
    EXPECT_EQ(p.args.frames, 30u);
    EXPECT_EQ(p.args.schedule.step, 0xFFFFFFFFu);  // one step back, wrapping

    p = Parse({"--seed", "1", "--ms=4294967295"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.args.schedule.time, 1431655765u);

    p = Parse({"--time", "0xFFFFFFFF", "--seed", "1", "--frames", "0x10", "--step", "0"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.args.schedule.time, 0xFFFFFFFFu);
    EXPECT_EQ(p.args.frames, 16u);
    EXPECT_EQ(p.args.schedule.step, 0u);
}

TEST(FrameArgs, FormatComesFromOptionThenExtensionThenRaw) {
    struct Case {
        std::vector<std::string> extra;
        FrameFormat format;
        bool to_stdout;
    } cases[] = {
        {{"-o", "a.png"}, FrameFormat::kPng, false},
        {{"-o", "dir.x/A.PNG"}, FrameFormat::kPng, false},
        {{"--output", "a.ppm"}, FrameFormat::kPpm, false},
        {{"--output=b.Ppm"}, FrameFormat::kPpm, false},
        {{"-o", "a.bin"}, FrameFormat::kRaw, false},
        {{"-o", "png"}, FrameFormat::kRaw, false},
        {{"-o", "a.png", "--format", "raw"}, FrameFormat::kRaw, false},
        {{"--format", "ppm", "-o", "a.png"}, FrameFormat::kPpm, false},
        {{"-o", "-"}, FrameFormat::kRaw, true},
        {{"--format", "png"}, FrameFormat::kPng, true},
    };
    for (const auto& c : cases) {
        std::vector<std::string> words = {"--seed", "3", "--time", "1"};
        words.insert(words.end(), c.extra.begin(), c.extra.end());
        const Parsed p = Parse(words);
        ASSERT_TRUE(p.ok) << c.extra[0] << " " << p.error;
        EXPECT_EQ(p.args.format, c.format) << c.extra.back();
        EXPECT_EQ(p.args.to_stdout, c.to_stdout) << c.extra.back();
    }
}

TEST(FrameArgs, SeveralImageFramesNeedANumberedPath) {
    Parsed p = Parse({"--seed", "1", "--time", "0", "--frames", "3", "-o", "out/frame-%04d.png"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(ExpandPath(p.args.output, 2), "out/frame-0002.png");
    // Raw frames may share one file.
    p = Parse({"--seed", "1", "--time", "0", "--frames", "3", "-o", "all.raw"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_FALSE(p.args.output.has_number);
    EXPECT_EQ(ExpandPath(p.args.output, 1), "all.raw");
}

TEST(FrameArgs, HelpEndsTheReadingWhereItStands) {
    for (const auto& words : std::vector<std::vector<std::string>>{
             {"--help"}, {"-h"}, {"--seed", "1", "--help"}, {"--help", "--bogus"}}) {
        const Parsed p = Parse(words);
        ASSERT_TRUE(p.ok) << words.back() << ": " << p.error;
        EXPECT_TRUE(p.args.help);
    }
    EXPECT_FALSE(Parse({"--bogus", "--help"}).ok);  // the unknown option comes first
    EXPECT_EQ(Parse({"--jobs", "0", "--help"}).error, "--jobs: must be 1 to 256: '0'");
    EXPECT_NE(std::string(FrameUsage()).find("--seed"), std::string::npos);
}

TEST(FrameArgs, RejectsEveryKindOfBadInput) {
    struct Case {
        std::vector<std::string> words;
        const char* message;  // a part of the expected error
    } cases[] = {
        {{"--seed", "1", "--time", "1", "--bogus"}, "unknown option '--bogus'"},
        {{"--seed", "1", "--time", "1", "-x"}, "unknown option '-x'"},
        {{"--seed", "1", "--time", "1", "stray"}, "unexpected argument 'stray'"},
        {{"--seed", "1", "--time", "1", "-"}, "unexpected argument '-'"},
        {{"--time", "1", "--seed"}, "--seed: missing value"},
        {{"--seed", "1", "-o"}, "-o: missing value"},
        {{"--seed", "abc", "--time", "1"}, "--seed: not a number: 'abc'"},
        {{"--seed", "12x", "--time", "1"}, "--seed: not a number: '12x'"},
        {{"--seed", "+5", "--time", "1"}, "--seed: not a number"},
        {{"--seed", " 5", "--time", "1"}, "--seed: not a number"},
        {{"--seed=", "--time", "1"}, "--seed: not a number: ''"},
        {{"--seed", "0x", "--time", "1"}, "--seed: not a number"},
        {{"--seed", "0x1g", "--time", "1"}, "--seed: not a number"},
        {{"--seed", "-0x5", "--time", "1"}, "--seed: not a number"},
        {{"--seed", "-", "--time", "1"}, "--seed: not a number"},
        {{"--seed", "4294967296", "--time", "1"}, "--seed: out of range: '4294967296'"},
        {{"--seed", "-2147483649", "--time", "1"}, "--seed: out of range"},
        {{"--seed", "0x100000000", "--time", "1"}, "--seed: out of range"},
        {{"--seed", "99999999999999999999999999", "--time", "1"}, "--seed: out of range"},
        {{"--seed", "1", "--time", "-1"}, "--time: not a number: '-1'"},
        {{"--seed", "1", "--time", "4294967296"}, "--time: out of range"},
        {{"--seed", "1", "--time", "abc"}, "--time: not a number: 'abc'"},
        {{"--seed", "1", "--ms", "1.5"}, "--ms: not a number"},
        {{"--seed", "1", "--ms", "4294967296"}, "--ms: out of range"},
        {{"--seed", "1", "--time", "1", "--frames", "0"}, "--frames: must be at least 1: '0'"},
        {{"--seed", "1", "--time", "1", "--frames", "-3"}, "--frames: must be at least 1: '-3'"},
        {{"--seed", "1", "--time", "1", "--frames", "-0"}, "--frames: must be at least 1"},
        {{"--seed", "1", "--time", "1", "--step", "4294967296"}, "--step: out of range"},
        {{"--seed", "1", "--time", "1", "--format", "jpg"}, "--format: not raw, ppm or png: 'jpg'"},
        {{"--seed", "1", "--time", "1", "--format", "gif"}, "--format: not raw, ppm or png"},
        {{"--seed", "1", "--seed", "2", "--time", "1"}, "--seed: given more than once"},
        {{"--seed", "1", "--time", "1", "-o", "a", "--output", "b"}, "-o: given more than once"},
        {{"--seed", "1", "--time", "1", "--ms", "3"}, "--time and --ms exclude each other"},
        {{"--seed", "1"}, "--time or --ms is required"},
        {{"--time", "1"}, "--seed is required"},
        {{}, "--seed is required"},
        {{"--seed", "1", "--time", "1", "-o", ""}, "-o: empty path"},
        {{"--seed", "1", "--time", "1", "-o", "--frames"}, "-o: path starts with '-'"},
        {{"--seed", "1", "--time", "1", "--frames", "2", "-o", "a.png"}, "need %d in the path"},
        {{"--seed", "1", "--time", "1", "--frames", "2", "--format", "png"}, "need a file path with %d"},
        {{"--seed", "1", "--time", "1", "-o", "a%s.png"}, "-o: only %d"},
        {{"--seed", "1", "--time", "1", "-o", "a%n.png"}, "not '%n'"},
        {{"--seed", "1", "--time", "1", "-o", "a%ld.png"}, "not '%l'"},
        {{"--seed", "1", "--time", "1", "-o", "a%*d.png"}, "not '%*'"},
        {{"--seed", "1", "--time", "1", "-o", "a%"}, "not '%'"},
        {{"--seed", "1", "--time", "1", "-o", "a%04"}, "not '%04'"},
        {{"--seed", "1", "--time", "1", "-o", "a%d-%d"}, "more than one %d"},
        {{"--seed", "1", "--time", "1", "-o", "a%d%%%x"}, "-o: only %d"},
        {{"--seed", "1", "--time", "1", "-o", "a%33d"}, "field width above 32"},
        {{"--seed", "1", "--time", "1", "-o", "a%.999999999999d"}, "field width above 32"},
    };
    for (const auto& c : cases) {
        const Parsed p = Parse(c.words);
        std::string joined;
        for (const auto& w : c.words) joined += w + " ";
        EXPECT_FALSE(p.ok) << joined;
        EXPECT_NE(p.error.find(c.message), std::string::npos) << joined << "-> " << p.error;
        EXPECT_EQ(p.error.find('\n'), std::string::npos) << p.error;
    }
}

TEST(FrameArgs, ErrorQuotesHostileValuesOnOneLine) {
    Parsed p = Parse({"--seed", "1\nnoise-frame: fake\r'\\", "--time", "1"});
    ASSERT_FALSE(p.ok);
    EXPECT_EQ(p.error, "--seed: not a number: '1\\x0anoise-frame: fake\\x0d\\x27\\x5c'");

    p = Parse({"--seed", std::string(500, '9'), "--time", "1"});
    ASSERT_FALSE(p.ok);
    EXPECT_EQ(p.error, "--seed: out of range: '" + std::string(64, '9') + "...'");
}

TEST(FrameArgs, NumberParsersAtTheirLimits) {
    uint32_t v = 0;
    std::string problem;
    EXPECT_TRUE(ParseUnsigned32("4294967295", &v, &problem));
    EXPECT_EQ(v, 4294967295u);
    EXPECT_FALSE(ParseUnsigned32("4294967296", &v, &problem));
    EXPECT_EQ(problem, "out of range");
    EXPECT_FALSE(ParseUnsigned32("-0", &v, &problem));
    EXPECT_EQ(problem, "not a number");
    EXPECT_TRUE(ParseSignedOrUnsigned32("-0", &v, &problem));
    EXPECT_EQ(v, 0u);
    EXPECT_TRUE(ParseSignedOrUnsigned32("-2147483647", &v, &problem));
    EXPECT_EQ(v, 0x80000001u);
    EXPECT_FALSE(ParseSignedOrUnsigned32("--1", &v, &problem));
    EXPECT_EQ(problem, "not a number");
}

TEST(FrameArgs, PathNumbersMatchPrintf) {
    const char* conversions[] = {"%d",    "%04d",  "%-5d", "%+d",   "% d",   "%.3d", "%8.3d",
                                 "%-08d", "%0+6d", "%.0d", "%+ 5d", "%0-4d", "%32d", "%-+.2d"};
    const uint32_t indices[] = {0, 7, 12345, 2147483647u, 4294967295u};
    for (const char* conv : conversions) {
        PathPattern pattern;
        std::string error;
        const std::string path = std::string("a%%b/") + conv + ".png";
        ASSERT_TRUE(ParsePathPattern(path, &pattern, &error)) << conv << ": " << error;
        ASSERT_TRUE(pattern.has_number);
        std::string wide = std::string("a%%b/") + conv;
        wide.replace(wide.size() - 1, 1, "lld.png");  // printf itself, on a wide enough type
        for (const uint32_t index : indices) {
            char expected[128];
            std::snprintf(expected, sizeof expected, wide.c_str(), static_cast<long long>(index));
            EXPECT_EQ(ExpandPath(pattern, index), expected) << conv << " " << index;
        }
    }
}

TEST(FrameArgs, PathWithoutConversionIsLiteralApartFromPercentPairs) {
    PathPattern pattern;
    std::string error;
    ASSERT_TRUE(ParsePathPattern("100%%/x.png", &pattern, &error)) << error;
    EXPECT_FALSE(pattern.has_number);
    EXPECT_EQ(ExpandPath(pattern, 0), "100%/x.png");
    EXPECT_EQ(ExpandPath(pattern, 9), "100%/x.png");
}

}  // namespace

namespace {

TEST(FrameArgs, ShortFormsBundlesAndNewOptions) {
    Parsed p = Parse({"-s", "7", "-t5", "-n", "3", "-fPNG", "-qj2", "-o", "f-%d.png"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.args.seed, 7u);
    EXPECT_EQ(p.args.schedule.time, 5u);
    EXPECT_EQ(p.args.frames, 3u);
    EXPECT_EQ(p.args.format, FrameFormat::kPng);
    EXPECT_TRUE(p.args.quiet);
    EXPECT_EQ(p.args.jobs, 2u);
    EXPECT_EQ(ExpandPath(p.args.output, 1), "f-1.png");

    p = Parse({"--seed=1", "--ms=0", "--jobs=256", "--format=Ppm", "--quiet", "-o-"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.args.jobs, 256u);
    EXPECT_EQ(p.args.format, FrameFormat::kPpm);
    EXPECT_TRUE(p.args.to_stdout);
    EXPECT_EQ(Parse({"--seed", "1", "--time", "1"}).args.jobs, 0u);  // one per CPU

    for (const auto& words : std::vector<std::vector<std::string>>{
             {"--version"}, {"-V"}, {"--seed", "1", "-qV"}, {"--version", "--bogus"}}) {
        p = Parse(words);
        ASSERT_TRUE(p.ok) << words.back() << ": " << p.error;
        EXPECT_TRUE(p.args.version);
        EXPECT_FALSE(p.args.help);
    }
}

TEST(FrameArgs, StreamsOfRawAndPpmButNotPng) {
    const std::vector<std::vector<std::string>> streams = {{"--frames", "3", "--format", "ppm"},
                                                           {"--frames", "3", "-o", "clip.ppm"},
                                                           {"-n", "3", "-o", "a.PNM"}};
    for (const auto& extra : streams) {
        std::vector<std::string> words = {"--seed", "1", "--time", "0"};
        words.insert(words.end(), extra.begin(), extra.end());
        const Parsed p = Parse(words);
        ASSERT_TRUE(p.ok) << extra.back() << ": " << p.error;
        EXPECT_EQ(p.args.format, FrameFormat::kPpm);
        EXPECT_EQ(p.args.frames, 3u);
    }
}

// Frame k of --fps F is drawn floor(k * 1000 / F) ms after the first; its
// time value is that moment div 3.
TEST(FrameArgs, FpsGivesExactMoments) {
    struct Case {
        std::vector<std::string> words;
        uint32_t k;
        uint32_t t;
    } cases[] = {
        {{"--ms", "0", "--fps", "30"}, 0, 0},
        {{"--ms", "0", "--fps", "30"}, 1, 11},                   // 33 ms
        {{"--ms", "0", "--fps", "30"}, 3, 33},                   // 100 ms
        {{"--ms", "0", "--fps", "30"}, 299, 3322},               // 9966 ms
        {{"--ms", "0", "--fps", "30"}, 300, 3333},               // 10 s, no drift
        {{"--ms", "10", "--fps", "30000/1001"}, 1, 14},          // 10 + 33 ms
        {{"--ms", "10", "--fps", "30000/1001"}, 30000, 333670},  // 10 + 1001000 ms
        {{"--time", "5", "--fps", "1000"}, 2, 5},                // 15 + 2 ms
        {{"--time", "5", "--fps", "1000"}, 3, 6},                // 15 + 3 ms
        {{"--time", "4294967295", "--fps", "1000000"}, 7, 4294967295u},
        {{"--ms", "4294967295", "--fps", "1"}, 1, 1431656098u},
        {{"--ms", "4294967295", "--fps", "1"},
         4294967295u,
         2863311197u},                                       // the 64-bit moment div 3, low bits
        {{"--time", "10", "--step", "-4"}, 3, 4294967294u},  // without --fps: T + k*D
    };
    for (const auto& c : cases) {
        std::vector<std::string> words = {"--seed", "1", "--frames", "4"};
        words.insert(words.end(), c.words.begin(), c.words.end());
        const Parsed p = Parse(words);
        ASSERT_TRUE(p.ok) << c.words[3] << ": " << p.error;
        EXPECT_EQ(ScheduledFrameTime(p.args.schedule, c.k), c.t) << c.words[1] << " " << c.words[3] << " frame " << c.k;
    }
}

TEST(FrameArgs, RejectsBadNewOptions) {
    struct Case {
        std::vector<std::string> words;
        const char* message;
    } cases[] = {
        {{"--fps", "0"}, "--fps: must be above 0: '0'"},
        {{"--fps", "30/0"}, "--fps: must be above 0"},
        {{"--fps", "29.97"}, "--fps: not a rate N or N/D: '29.97'"},
        {{"--fps", "30/"}, "--fps: not a rate"},
        {{"--fps", "1/2/3"}, "--fps: not a rate"},
        {{"--fps", "-30"}, "--fps: not a rate"},
        {{"--fps", "1000001"}, "--fps: out of range"},
        {{"--fps", "30", "--step", "2"}, "--fps and --step exclude each other"},
        {{"--jobs", "0"}, "--jobs: must be 1 to 256: '0'"},
        {{"-j", "257"}, "--jobs: must be 1 to 256"},
        {{"-jx"}, "--jobs: not a number: 'x'"},
        {{"--quiet=yes"}, "--quiet: takes no value"},
        {{"-q", "--quiet"}, "--quiet: given more than once"},
        {{"-s", "2"}, "--seed: given more than once"},
        {{"-qz"}, "unknown option '-z'"},
        {{"--Seed", "1"}, "unknown option '--Seed'"},
        {{"--"}, "unknown option '--'"},
        {{"-o", "a.JPG"}, "-o: noise-frame writes raw, ppm or png, not .jpg images: 'a.JPG'"},
        {{"-o", "f-%03d.gif", "-n", "2"}, "not .gif images"},
        {{"--format", "raw", "-o", "x.webp"}, "not .webp images"},
        {{"-o", "\xc3\xa9t\xe9.bmp"}, "'\\xc3\\xa9t\\xe9.bmp'"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> words = {"--seed", "1", "--time", "1"};
        words.insert(words.end(), c.words.begin(), c.words.end());
        const Parsed p = Parse(words);
        EXPECT_FALSE(p.ok) << c.words[0];
        EXPECT_NE(p.error.find(c.message), std::string::npos) << c.words[0] << " -> " << p.error;
    }
}

}  // namespace

namespace {

// The workers a run gets for its jobs within a memory budget, counted in
// the plan's own units: a worker's buffers and a frame in flight.
TEST(FrameArgs, WorkersArePlannedWithinTheMemoryBudget) {
    struct Case {
        std::vector<std::string> words;
        uint32_t jobs;
        int budget_workers;  // budget: this many workers' buffers, each with two frames in flight
        uint32_t workers;    // planned; 0: refused
        bool split;
        uint32_t threads;
    } cases[] = {
        {{"-n", "100"}, 4, 4, 4, false, 4},                           // all fit
        {{"-n", "100", "--size", "1920x1080"}, 4, 3, 3, false, 3},    // one fewer
        {{"-n", "100", "-f", "png", "-o", "%d.png"}, 8, 1, 1, false, 1},
        {{"-n", "2", "--size", "3840x2160"}, 2, 2, 2, false, 2},      // as many frames as jobs
        {{"--size", "3840x2160"}, 2, 2, 1, true, 2},                  // one frame split across the jobs
        {{"-n", "3", "-f", "ppm"}, 200, 16, 1, true, 16},             // split across at most 16 threads
        {{"-n", "3", "-f", "ppm"}, 200, 2, 1, true, 2},               // room for two threads only
        {{"--size", "3840x2160"}, 1, 1, 1, false, 1},
        {{"--size", "8192x8192", "-f", "png", "-o", "a.png"}, 2, 0, 0, false, 0},
    };
    for (const auto& c : cases) {
        std::vector<std::string> words = {"--seed", "1", "--time", "0"};
        words.insert(words.end(), c.words.begin(), c.words.end());
        const Parsed p = Parse(words);
        ASSERT_TRUE(p.ok) << p.error;
        // A budget of 0 workers is half a frame in flight: not even one fits.
        const uint64_t budget = c.budget_workers == 0
                                    ? SlotBytes(p.args) / 2
                                    : c.budget_workers * (WorkerBytes(p.args) + 2 * SlotBytes(p.args));
        WorkerPlan plan;
        std::string error;
        const bool ok = PlanWorkers(p.args, c.jobs, 16, budget, &plan, &error);
        const std::string what = words.back() + " with " + std::to_string(c.jobs) + " jobs";
        ASSERT_EQ(ok, c.workers != 0) << what << ": " << error;
        if (!ok) {
            EXPECT_NE(error.find("--size 8192x8192: png frames need "), std::string::npos) << error;
            EXPECT_NE(error.find(" MiB this process may use"), std::string::npos) << error;
            continue;
        }
        EXPECT_EQ(plan.workers, c.workers) << what;
        EXPECT_EQ(plan.slots, c.workers == 1 ? 1u : 2 * c.workers) << what;
        EXPECT_EQ(plan.split, c.split) << what;
        EXPECT_EQ(plan.threads, c.threads) << what;
    }
}

}  // namespace
