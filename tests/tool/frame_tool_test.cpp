// The frame tool: its encoders in-process, and the real
// noise-frame program run as a child process (bounded waits, killed by its
// id if it ever hangs).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <algorithm>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "noise/noise.h"
#include "render/frame.h"
#include "render/shading.h"
#include "tests/core/frame_digest.h"
#include "tests/tool/tool_session.h"
#include "tools/frame_output.h"

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb/stb_image.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr auto kToolTimeLimit = std::chrono::seconds(60);
constexpr int kBadArgumentExit = 2;
const FrameShape kBase = BaseFrameShape();
constexpr size_t kRawFrameBytes = 4 * size_t{kPixelCount};
constexpr size_t kPpmFrameBytes = sizeof "P6\n320 200\n255\n" - 1 + 3 * size_t{kPixelCount};

// The frame for (seed, t) rendered in this process, as the raw format lays it out.
Bytes RenderRaw(int32_t seed, uint32_t t) {
    InitNoise(seed);
    BuildPalette();
    BuildSineTable();
    EXPECT_TRUE(AllocateFrameBuffers());
    RenderFramePlain(t, ByteImage, PixelBuffer);
    Bytes raw;
    EncodeRaw(kBase, PixelBuffer, &raw);
    FreeFrameBuffers();
    return raw;
}

uint32_t RawPixel(const Bytes& raw, size_t frame, int x, int row) {
    const size_t at = frame * kRawFrameBytes + (static_cast<size_t>(row) * W + x) * 4;
    return raw[at] | raw[at + 1] << 8 | raw[at + 2] << 16 | static_cast<uint32_t>(raw[at + 3]) << 24;
}

// The RGB triples of the picture (top row first) that a w x h raw frame shows.
Bytes PictureOfRaw(const Bytes& raw, int w = W, int h = H) {
    Bytes rgb;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const size_t at = (static_cast<size_t>(h - 1 - y) * w + x) * 4;
            const uint32_t p = raw[at] | raw[at + 1] << 8 | raw[at + 2] << 16;
            rgb.push_back(static_cast<uint8_t>(p >> 16));
            rgb.push_back(static_cast<uint8_t>(p >> 8));
            rgb.push_back(static_cast<uint8_t>(p));
        }
    }
    return rgb;
}

// Decodes a PNG to RGB triples; width and height through the pointers.
Bytes DecodePng(const Bytes& png, int* width, int* height) {
    int channels = 0;
    stbi_uc* data =
        stbi_load_from_memory(png.data(), static_cast<int>(png.size()), width, height, &channels, 3);
    if (data == nullptr) return {};
    Bytes rgb(data, data + static_cast<size_t>(*width) * static_cast<size_t>(*height) * 3);
    stbi_image_free(data);
    return rgb;
}

// The pixel body of a binary PPM after checking its header.
Bytes PpmBody(const Bytes& ppm, int w = W, int h = H) {
    const std::string header = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    EXPECT_GE(ppm.size(), header.size());
    if (ppm.size() < header.size()) return {};
    EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + static_cast<long>(header.size())), header);
    return Bytes(ppm.begin() + static_cast<long>(header.size()), ppm.end());
}

struct ToolRun {
    int exit_code = -1;
    Bytes out;
    std::string err;
};

// Runs noise-frame with the arguments; its output streams go to files in a
// private folder (standard output is closed instead with close_stdout).
// Waits at most kToolTimeLimit, then kills the child.
// before: words in front of the tool's path (a command that runs it).
ToolRun RunTool(const std::vector<std::string>& args, bool close_stdout = false,
                const std::vector<std::string>& before = {}) {
    TempDir streams;
    const std::string out_path = streams / "stdout", err_path = streams / "stderr";
    std::vector<std::string> words = before;
    words.push_back(NOISE_FRAME_EXE);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (close_stdout) {
        posix_spawn_file_actions_addclose(&actions, 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ToolRun run;
    EXPECT_EQ(spawned, 0) << std::strerror(spawned);
    if (spawned != 0) return run;

    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + kToolTimeLimit;
    pid_t done = 0;
    while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (done == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ADD_FAILURE() << "noise-frame did not finish in time";
        return run;
    }
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadFile(out_path);
    const Bytes err = ReadFile(err_path);
    run.err.assign(err.begin(), err.end());
    return run;
}

// A raw frame of any size read straight from the definition, sharing only
// Turbulence (and its tables) with the renderer: a w x h frame covers the
// 320 x 200 one scaled by p / q = max(w / 320, h / 200); grid sample (i, j)
// is pixel (2i, 2j) of the even-sized shade image, the other pixels the
// truncated averages of their neighbours, left to right, then bottom to top;
// the frame is its bottom-left w x h pixels through the palette, bottom row
// first, each pixel 0x00RRGGBB little-endian.
Bytes DefinitionRaw(int32_t seed, uint32_t t, int w, int h) {
    InitNoise(seed);
    constexpr double kPi = 3.14159265358979323846;
    int32_t sine[1024];
    for (int k = 0; k < 1024; ++k) sine[k] = static_cast<int32_t>(std::lround(255 * std::sin(2 * kPi * k / 1024)));
    const bool by_width = int64_t{w} * 200 >= int64_t{h} * 320;
    const int64_t p = by_width ? w : h, q = by_width ? 320 : 200;
    const int cols = w / 2 + 1, rows = h / 2 + 1;  // grid samples
    const int iw = 2 * cols - 1, ih = 2 * rows - 1;
    std::vector<uint8_t> shade(static_cast<size_t>(iw) * ih);
    auto at = [&](int x, int y) -> uint8_t& { return shade[static_cast<size_t>(y) * iw + x]; };
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < cols; ++i) {
            const int32_t m = Turbulence(static_cast<int32_t>(32 * i * q / p), static_cast<int32_t>(32 * j * q / p),
                                         static_cast<int32_t>(t), 4) / 8;
            const int64_t a = sine[(7 * j * q / p + m - 120) & 1023];
            const int64_t b = sine[(4 * i * q / p + m - 80) & 1023];
            at(2 * i, 2 * j) = static_cast<uint8_t>(std::llabs(a * b) >> 8);
        }
    }
    for (int y = 0; y < ih; y += 2) {
        for (int x = 1; x < iw; x += 2) at(x, y) = static_cast<uint8_t>((at(x - 1, y) + at(x + 1, y)) / 2);
    }
    for (int y = 1; y < ih; y += 2) {
        for (int x = 0; x < iw; ++x) at(x, y) = static_cast<uint8_t>((at(x, y - 1) + at(x, y + 1)) / 2);
    }
    Bytes raw;
    raw.reserve(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int s = at(x, y);
            const auto blue = static_cast<uint8_t>(std::lround(255 * std::sqrt(s / 255.0)));
            raw.insert(raw.end(), {blue, static_cast<uint8_t>(s), static_cast<uint8_t>(s), 0});
        }
    }
    return raw;
}

int LineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(FrameOutput, RawIsLittleEndianInMemoryOrder) {
    std::vector<uint32_t> pixels(kPixelCount, 0);
    pixels[5] = 0x00A1B2C3u;
    pixels[kPixelCount - 1] = 0x00010203u;
    Bytes raw = {0xEE};  // appends after what is there
    EncodeRaw(kBase, pixels.data(), &raw);
    ASSERT_EQ(raw.size(), 1 + kRawFrameBytes);
    EXPECT_EQ(raw[1 + 20], 0xC3);
    EXPECT_EQ(raw[1 + 21], 0xB2);
    EXPECT_EQ(raw[1 + 22], 0xA1);
    EXPECT_EQ(raw[1 + 23], 0x00);
    EXPECT_EQ(raw[kRawFrameBytes - 3], 0x03);
    EXPECT_EQ(raw[kRawFrameBytes - 1], 0x01);
    EXPECT_EQ(raw[kRawFrameBytes], 0x00);
}

TEST(FrameOutput, PicturesShowRowZeroAtTheBottom) {
    std::vector<uint32_t> pixels(kPixelCount, 0);
    pixels[0] = 0x00112233u;                    // row 0, first column: bottom left
    pixels[(H - 1) * W + W - 1] = 0x00445566u;  // last row, last column: top right
    Bytes ppm(PpmFrameBytes(kBase));
    EncodePpmInto(kBase, pixels.data(), ppm.data());
    const Bytes body = PpmBody(ppm);
    ASSERT_EQ(body.size(), 3u * kPixelCount);
    const size_t bottom_left = 3u * (H - 1) * W;
    EXPECT_EQ(body[bottom_left], 0x11);
    EXPECT_EQ(body[bottom_left + 1], 0x22);
    EXPECT_EQ(body[bottom_left + 2], 0x33);
    EXPECT_EQ(body[3 * (W - 1)], 0x44);
    EXPECT_EQ(body[3 * (W - 1) + 2], 0x66);

    Bytes png;
    ASSERT_TRUE(PngEncoder(kBase).Encode(pixels.data(), &png));
    int w = 0, h = 0;
    EXPECT_EQ(DecodePng(png, &w, &h), body);
    EXPECT_EQ(w, W);
    EXPECT_EQ(h, H);
}

TEST(FrameTool, RawFrameMatchesTheRenderer) {
    const ToolRun run = RunTool({"--seed", "1", "--time", "999", "--format", "raw"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ASSERT_EQ(run.out.size(), 256000u);
    EXPECT_EQ(RawPixel(run.out, 0, 6, 4), 0x00373776u);
    std::vector<uint32_t> pixels(kPixelCount);
    std::memcpy(pixels.data(), run.out.data(), kRawFrameBytes);  // little-endian host
    EXPECT_EQ(FrameDigest(pixels.data()), kDigestSeed1Time999);

    // --ms M is time M div 3; "-o -" is standard output too.
    const ToolRun by_ms = RunTool({"--ms", "2999", "--seed", "0x1", "-o", "-"});
    ASSERT_EQ(by_ms.exit_code, 0) << by_ms.err;
    EXPECT_EQ(by_ms.out, run.out);
}

// Frames of any size, split across threads or rendered by frame workers,
// byte for byte as the definition reads.
TEST(FrameTool, SizedRawFramesFollowTheDefinition) {
    struct Case {
        int32_t seed;
        uint32_t time;
        int width, height;
        std::vector<std::string> extra;
    } cases[] = {
        {1, 999, 1, 1, {}},
        {-5, 4294967295u, 3, 5, {}},
        {7, 123456, 321, 201, {"-j", "1"}},
        {2, 1024, 1366, 768, {}},
        {1, 999, 1920, 1080, {"-j", "2"}},
        {9, 77, 2560, 1080, {}},
        {3, 40000, 200, 1000, {"-n", "2", "--step", "-40000", "-j", "2"}},  // tall: scaled by height; 2 workers
    };
    for (const Case& c : cases) {
        const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
        std::vector<std::string> args = {"--seed", std::to_string(c.seed), "--time", std::to_string(c.time),
                                         "--size", size, "--format", "raw"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const ToolRun run = RunTool(args);
        ASSERT_EQ(run.exit_code, 0) << size << ": " << run.err;
        Bytes want = DefinitionRaw(c.seed, c.time, c.width, c.height);
        if (c.extra.size() > 2) {  // the second frame, at time 0
            const Bytes second = DefinitionRaw(c.seed, c.time - 40000, c.width, c.height);
            want.insert(want.end(), second.begin(), second.end());
        }
        ASSERT_EQ(run.out.size(), want.size()) << size;
        const auto diff = std::mismatch(want.begin(), want.end(), run.out.begin());
        EXPECT_TRUE(diff.first == want.end())
            << size << " at seed " << c.seed << ", time " << c.time << ": first difference at byte "
            << (diff.first - want.begin());
    }
}

TEST(FrameTool, ImagesAreTheRawFrameUpsideDown) {
    TempDir dir;
    const Bytes raw = RenderRaw(7, 123456);
    ToolRun run = RunTool({"--seed", "7", "--time", "123456", "-o", dir / "f.ppm"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_TRUE(run.out.empty());
    const Bytes body = PpmBody(ReadFile(dir / "f.ppm"));
    ASSERT_EQ(body, PictureOfRaw(raw));
    // The bottom row of the picture is raw row 0.
    const uint32_t first = RawPixel(raw, 0, 0, 0);
    const size_t bottom = 3u * (H - 1) * W;
    EXPECT_EQ(body[bottom], static_cast<uint8_t>(first >> 16));
    EXPECT_EQ(body[bottom + 2], static_cast<uint8_t>(first));

    run = RunTool({"--seed", "7", "--time", "123456", "-o", dir / "f.png"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    int w = 0, h = 0;
    EXPECT_EQ(DecodePng(ReadFile(dir / "f.png"), &w, &h), body);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 200);
    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"f.png", "f.ppm"}));
}

// PPM and PNG pictures of any size, odd widths too (the rows' last pixels
// convert apart from the rest), are the raw frame upside down.
TEST(FrameTool, ImagesOfAnySizeAreTheRawFrameUpsideDown) {
    TempDir dir;
    for (const auto& [w, h] : {std::pair{5, 3}, {7, 2}, {321, 201}, {1366, 768}}) {
        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        const std::vector<std::string> frame = {"-s", "4", "-t", "321", "--size", size};
        const ToolRun raw = RunTool(frame);
        ASSERT_EQ(raw.exit_code, 0) << size << ": " << raw.err;
        const Bytes picture = PictureOfRaw(raw.out, w, h);
        auto with = [&](const std::string& path) {
            std::vector<std::string> words = frame;
            words.insert(words.end(), {"-o", dir / path});
            return words;
        };
        ASSERT_EQ(RunTool(with("f.ppm")).exit_code, 0) << size;
        EXPECT_EQ(PpmBody(ReadFile(dir / "f.ppm"), w, h), picture) << size;
        ASSERT_EQ(RunTool(with("f.png")).exit_code, 0) << size;
        int pw = 0, ph = 0;
        EXPECT_EQ(DecodePng(ReadFile(dir / "f.png"), &pw, &ph), picture) << size;
        EXPECT_EQ(std::pair(pw, ph), std::pair(w, h));
    }
}

TEST(FrameTool, NumberedSequenceAndConcatenatedRaw) {
    TempDir dir;
    ToolRun run = RunTool({"--seed", "-5", "--time", "4294967290", "--step", "4", "--frames", "3", "-o",
                           dir / "frame-%04d.png"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(Entries(dir.path()),
              (std::vector<std::string>{"frame-0000.png", "frame-0001.png", "frame-0002.png"}));
    const uint32_t times[] = {4294967290u, 4294967294u, 2u};  // the last one wrapped
    for (int k = 0; k < 3; ++k) {
        int w = 0, h = 0;
        const Bytes rgb = DecodePng(ReadFile(dir / ("frame-000" + std::to_string(k) + ".png")), &w, &h);
        EXPECT_EQ(rgb, PictureOfRaw(RenderRaw(-5, times[k]))) << k;
    }

    run = RunTool({"--seed", "-5", "--time", "2", "--step", "-4", "--frames", "3"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    ASSERT_EQ(run.out.size(), 3 * kRawFrameBytes);
    const Bytes last(run.out.begin() + 2 * static_cast<long>(kRawFrameBytes), run.out.end());
    EXPECT_EQ(last, RenderRaw(-5, 4294967290u));
}

TEST(FrameTool, HelpAndClockSeed) {
    ToolRun run = RunTool({"--help"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(std::string(run.out.begin(), run.out.end()).rfind("usage: noise-frame", 0), 0u);
    EXPECT_EQ(run.err, "");

    run = RunTool({"--seed", "0", "--time", "999"});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out.size(), kRawFrameBytes);
}

// Frames of a --fps run, rendered by several workers, are the renders of
// their moments: 10 ms after start, then 33, 66 and 100 ms later at 29.97 fps.
TEST(FrameTool, FpsFramesAreTheRendersOfTheirMoments) {
    const ToolRun run = RunTool({"-s", "3", "--ms", "10", "--fps", "30000/1001", "-n", "4", "-j", "3"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    ASSERT_EQ(run.out.size(), 4 * kRawFrameBytes);
    const uint32_t times[] = {3, 14, 25, 36};
    for (size_t k = 0; k < 4; ++k) {
        const Bytes frame(run.out.begin() + static_cast<long>(k * kRawFrameBytes),
                          run.out.begin() + static_cast<long>((k + 1) * kRawFrameBytes));
        EXPECT_EQ(frame, RenderRaw(3, times[k])) << "frame " << k;
    }
}

// A PPM stream: one P6 image after another, the same bytes whatever the
// number of workers (frames are written in order through a bounded window).
TEST(FrameTool, StreamsAreTheSameOnAnyNumberOfJobs) {
    constexpr uint32_t kFrames = 240;
    const std::vector<std::string> ppm = {"--seed", "9",  "--ms", "0",  "--fps",
                                          "30",     "-n", "240",  "-f", "ppm"};
    auto with = [](std::vector<std::string> words, std::vector<std::string> extra) {
        words.insert(words.end(), extra.begin(), extra.end());
        return words;
    };
    const ToolRun one = RunTool(with(ppm, {"--jobs", "1"}));
    ASSERT_EQ(one.exit_code, 0) << one.err;
    ASSERT_EQ(one.out.size(), kFrames * kPpmFrameBytes);
    const Bytes last(one.out.end() - static_cast<long>(kPpmFrameBytes), one.out.end());
    EXPECT_EQ(PpmBody(last), PictureOfRaw(RenderRaw(9, 2655)));  // 239 * 1000 / 30 = 7966 ms
    for (const auto& jobs : {std::vector<std::string>{}, {"-j3"}, {"--jobs=7"}}) {
        const ToolRun many = RunTool(with(ppm, jobs));
        ASSERT_EQ(many.exit_code, 0) << many.err;
        EXPECT_TRUE(many.out == one.out) << (jobs.empty() ? "default" : jobs[0]);
    }
    const std::vector<std::string> raw = {"--seed", "9", "--time", "7", "--step", "5", "-n", "240"};
    EXPECT_TRUE(RunTool(with(raw, {"-j1"})).out == RunTool(with(raw, {"-j4"})).out);

    TempDir dir;
    ASSERT_EQ(RunTool(with(ppm, {"-j3", "-o", dir / "stream.ppm"})).exit_code, 0);
    EXPECT_TRUE(ReadFile(dir / "stream.ppm") == one.out) << "one file written by the workers";
    fs::create_directory(dir / "a");
    fs::create_directory(dir / "b");
    const std::vector<std::string> png = {"-s", "9", "-t", "0", "-n", "20", "-f", "png"};
    ASSERT_EQ(RunTool(with(png, {"-j1", "-o", dir / "a/%d.png"})).exit_code, 0);
    ASSERT_EQ(RunTool(with(png, {"-j3", "-o", dir / "b/%d.png"})).exit_code, 0);
    EXPECT_EQ(Entries(dir / "a").size(), 20u);
    for (const auto& name : Entries(dir / "a")) {
        EXPECT_EQ(ReadFile(dir.path() / "a" / name), ReadFile(dir.path() / "b" / name)) << name;
    }
}

TEST(FrameTool, VersionBareCommandAndClosedStandardOutput) {
    ToolRun run = RunTool({"--version"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(std::string(run.out.begin(), run.out.end()),
              std::string("noise-frame ") + NOISE_VERSION + "\n");

    run = RunTool({});
    EXPECT_EQ(run.exit_code, kBadArgumentExit);
    EXPECT_TRUE(run.out.empty());
    EXPECT_EQ(run.err.rfind("usage: noise-frame", 0), 0u) << run.err;

    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"-V"}, {"-s1", "-t1"}, {"-s1", "-t1", "-n50", "-j3"}}) {
        run = RunTool(args, /*close_stdout=*/true);
        EXPECT_EQ(run.exit_code, kBadArgumentExit) << args[0];
        EXPECT_EQ(run.err, "noise-frame: cannot write to standard output: Bad file descriptor\n") << args[0];
    }
}

// Each bad command: exit 2, one stderr line naming the problem, nothing on
// standard output and nothing left in the output folder.
TEST(FrameTool, BadArgumentsFailCleanly) {
    TempDir dir;
    fs::create_directory(dir / "full");
    fs::create_directory(dir.path() / "full" / "x");  // blocks renaming a file onto it
    std::ofstream(dir / "plain") << "a file, not a folder";
    const std::vector<std::string> before = Entries(dir.path());
    struct Case {
        std::vector<std::string> args;
        const char* message;
        std::vector<std::string> before = {};  // a command that runs the tool
    } cases[] = {
        {{"--seed", "1", "--time", "abc", "-o", dir / "a.png"}, "--time: not a number: 'abc'"},
        {{"--seed", "1", "--time", "1", "--bogus"}, "unknown option '--bogus'"},
        {{"--seed", "1", "--time"}, "--time: missing value"},
        {{"--seed", "0x1FFFFFFFF", "--time", "1", "-o", dir / "a.raw"}, "--seed: out of range"},
        {{"--seed", "1", "--time", "1", "--frames", "0", "-o", dir / "a.raw"},
         "--frames: must be at least 1"},
        {{"--seed", "1", "--time", "1", "--frames", "2", "-o", dir / "a.png"}, "need %d in the path"},
        {{"--seed", "1", "--time", "1", "-o", dir / "a%s.png"}, "-o: only %d"},
        {{"--seed", "1", "--time", "1", "-o", dir / "a.jpg"}, "not .jpg images"},
        {{"--seed", "\xff\x1b[2J", "--time", "1"}, "--seed: not a number: '\\xff\\x1b[2J'"},
        {{"--seed", "1", "--time", "1", "--ms", "1", "-o", dir / "a.png"}, "--time and --ms"},
        {{"--seed", "1", "--time", "1", "-o", dir / "missing/a.png"}, "No such file or directory"},
        {{"--seed", "1", "--time", "1", "-o", dir / "plain/a.png"}, "Not a directory"},
        {{"--seed", "1", "--time", "1", "-o", dir / "full"}, "cannot write '"},
        {{"--seed", "1", "--time", "1", "--frames", "3", "-o", dir / "plain/%d.raw"}, "Not a directory"},
        {{"-s1", "-t1", "--size", "1920x", "-o", dir / "a.raw"}, "--size: not WxH: '1920x'"},
        {{"-s1", "-t1", "--size", "0x200", "-o", dir / "a.raw"}, "--size: out of range"},
        {{"-s1", "-t1", "--size=16384x16384", "-o", dir / "a.png"}, "--size: out of range"},
        {{"-s1", "-t1", "--size", "4294967296x1", "-o", dir / "a.raw"}, "--size: out of range"},
        // With a data limit of 300 MB, one 8192 x 8192 PNG frame does not fit.
        {{"-s1", "-t1", "--size", "8192x8192", "-o", dir / "a.png"},
         "--size 8192x8192: png frames need",
         {"/usr/bin/prlimit", "--data=300000000"}},
        // Refused before the output, a folder, is opened.
        {{"-s1", "-t1", "--size", "8192x8192", "-f", "ppm", "-o", dir / "full/x"},
         "ppm frames need",
         {"/usr/bin/prlimit", "--data=300000000"}},
    };
    for (const auto& c : cases) {
#if defined(__SANITIZE_ADDRESS__)
        if (!c.before.empty()) continue;  // the sanitizer's shadow memory does not fit a data limit
#endif
        const ToolRun run = RunTool(c.args, false, c.before);
        EXPECT_EQ(run.exit_code, kBadArgumentExit) << c.message;
        EXPECT_EQ(LineCount(run.err), 1) << run.err;
        EXPECT_EQ(run.err.rfind("noise-frame: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << c.message;
        EXPECT_EQ(Entries(dir.path()), before) << c.message;
        EXPECT_EQ(Entries(dir / "full"), std::vector<std::string>{"x"}) << c.message;
    }
}

TEST(FrameTool, UnwritableFolderLeavesNoFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root; the other failing paths cover it";
    TempDir dir;
    fs::create_directory(dir / "ro");
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    const ToolRun run = RunTool({"--seed", "1", "--time", "1", "-o", dir / "ro/a.png"});
    EXPECT_EQ(run.exit_code, kBadArgumentExit);
    EXPECT_NE(run.err.find("Permission denied"), std::string::npos) << run.err;
    EXPECT_TRUE(Entries(dir / "ro").empty());
}

TEST(FrameTool, SequenceStopsAtTheFirstFrameThatCannotBeWritten) {
    TempDir dir;
    fs::create_directory(dir / "f1");
    fs::create_directory(dir.path() / "f1" / "x");  // frame 1's name is taken by a non-empty folder
    const ToolRun run = RunTool({"--seed", "1", "--time", "5", "--frames", "3", "-o", dir / "f%d"});
    EXPECT_EQ(run.exit_code, kBadArgumentExit);
    EXPECT_EQ(LineCount(run.err), 1) << run.err;
    EXPECT_NE(run.err.find("/f1'"), std::string::npos) << run.err;
    // Frame 0 was complete before the failure; no temporary and no frame 2.
    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"f0", "f1"}));
    EXPECT_EQ(ReadFile(dir / "f0"), RenderRaw(1, 5));
}

}  // namespace
