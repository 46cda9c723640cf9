// Output files: the real noise-frame program writing to FIFOs, sockets,
// device nodes, links, shared and protected files, long paths, and being
// stopped by signals and file-size limits, all inside scratch folders; and
// OutputFile in-process for its named temporaries.
#include "output/output_file.h"
#include "platform/exit_signals.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/tool/tool_session.h"

namespace {

namespace fs = std::filesystem;

constexpr auto kTimeLimit = std::chrono::seconds(60);
constexpr int kErrorExit = 2;
constexpr size_t kRawFrame = 256000;  // bytes of one raw frame

// A running noise-frame; stderr goes to a file in its own scratch folder.
struct Tool {
    pid_t pid = -1;
    int status = 0;
    bool finished = false;
    TempDir streams;
    std::string stdout_path;  // opened for appending; empty: /dev/null
    std::string Err() const {
        const Bytes err = ReadFile(streams / "stderr");
        return std::string(err.begin(), err.end());
    }
};

// Starts noise-frame --seed 1 --time 5 plus `args`; `in_child` runs in the
// child before exec (set limits, drop privileges) and must only make plain
// system calls.
void Start(Tool* tool, const std::vector<std::string>& args, const std::function<void()>& in_child = {}) {
    std::vector<std::string> words = {NOISE_FRAME_EXE, "--seed", "1", "--time", "5"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const std::string err_path = tool->streams / "stderr";
    ::chmod(tool->streams.path().c_str(), 0777);  // writable by a child that drops root
    tool->pid = ::fork();
    ASSERT_GE(tool->pid, 0);
    if (tool->pid == 0) {
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(tool->stdout_path.empty() ? null : ::open(tool->stdout_path.c_str(), O_WRONLY | O_APPEND), 1);
        ::dup2(err, 2);
        if (in_child) in_child();
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
}

// Waits until the tool ends (killing it after kTimeLimit); true once ended.
bool Poll(Tool* tool) {
    if (!tool->finished && ::waitpid(tool->pid, &tool->status, WNOHANG) == tool->pid) tool->finished = true;
    return tool->finished;
}

void Finish(Tool* tool) {
    const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
    while (!Poll(tool) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!tool->finished) {
        ::kill(tool->pid, SIGKILL);
        ::waitpid(tool->pid, &tool->status, 0);
        tool->finished = true;
        ADD_FAILURE() << "noise-frame did not finish in time";
    }
}

int ExitCode(const Tool& tool) {
    return WIFEXITED(tool.status) ? WEXITSTATUS(tool.status) : 128 + WTERMSIG(tool.status);
}

// Runs the tool to its end.
Tool* RunToEnd(Tool* tool, const std::vector<std::string>& args, const std::function<void()>& in_child = {}) {
    Start(tool, args, in_child);
    Finish(tool);
    return tool;
}

// Reads what the tool writes into `fd` (a FIFO opened without blocking, or
// a listening socket whose first connection is read) until the tool ends.
Bytes Collect(Tool* tool, int fd, bool accept_first) {
    Bytes got;
    int from = accept_first ? -1 : fd;
    const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
    bool ended = false;
    while (std::chrono::steady_clock::now() < deadline) {
        if (from < 0) from = ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK);
        pollfd p = {from < 0 ? fd : from, POLLIN, 0};
        ::poll(&p, 1, 20);
        uint8_t buffer[65536];
        ssize_t n = 0;
        while (from >= 0 && (n = ::read(from, buffer, sizeof buffer)) > 0)
            got.insert(got.end(), buffer, buffer + n);
        if (ended) break;  // drained once more after the end
        ended = Poll(tool);
    }
    if (from >= 0 && from != fd) ::close(from);
    Finish(tool);
    return got;
}

// Runs as the user `nobody` when root (so permissions bind); else as is.
std::function<void()> Unprivileged() {
    if (::geteuid() != 0) return {};
    const passwd* pw = ::getpwnam("nobody");
    if (pw == nullptr) return {};
    const uid_t uid = pw->pw_uid;
    const gid_t gid = pw->pw_gid;
    return [uid, gid] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(126);
    };
}

// Reading the file also names its inode, so identity can be compared.
struct stat Stat(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path << ": " << std::strerror(errno);
    return st;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

TEST(OutputFile, NonRegularTargetsAreWrittenNotReplaced) {
    TempDir dir;
    // A FIFO: its reader gets both frames, and it stays a FIFO.
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    const int fifo = ::open((dir / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fifo, 0);
    Tool to_fifo;
    Start(&to_fifo, {"--frames", "2", "-o", dir / "fifo"});
    const Bytes from_fifo = Collect(&to_fifo, fifo, false);
    ::close(fifo);
    EXPECT_EQ(ExitCode(to_fifo), 0) << to_fifo.Err();
    EXPECT_EQ(from_fifo.size(), 2 * kRawFrame);
    EXPECT_TRUE(S_ISFIFO(Stat(dir / "fifo").st_mode));

    // A reader that leaves early ends the tool by SIGPIPE, quietly.
    ASSERT_EQ(::mkfifo((dir / "short").c_str(), 0600), 0);
    Tool to_short;
    Start(&to_short, {"--frames", "100", "-o", dir / "short"});
    {
        const int reader = ::open((dir / "short").c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        pollfd p = {reader, POLLIN, 0};
        EXPECT_EQ(::poll(&p, 1, 60000), 1);  // the first bytes
        uint8_t some[100];
        EXPECT_GT(::read(reader, some, sizeof some), 0);
        ::close(reader);
    }
    Finish(&to_short);
    EXPECT_EQ(ExitCode(to_short), 128 + SIGPIPE) << to_short.Err();
    EXPECT_EQ(to_short.Err(), "");
    EXPECT_TRUE(S_ISFIFO(Stat(dir / "short").st_mode));

    // A Unix socket is connected to.
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socket_path = dir / "sock";
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socket_path.c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    Tool to_socket;
    Start(&to_socket, {"--format", "ppm", "-o", socket_path});
    const Bytes from_socket = Collect(&to_socket, listener, true);
    ::close(listener);
    EXPECT_EQ(ExitCode(to_socket), 0) << to_socket.Err();
    EXPECT_EQ(from_socket.size(), 15 + 3 * kRawFrame / 4);  // "P6\n320 200\n255\n" and RGB
    EXPECT_TRUE(S_ISSOCK(Stat(socket_path).st_mode));

    // A character device node (the numbers of the null device, made here).
    if (::mknod((dir / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0) {
        std::printf("[  NOTE    ] device node not tested: mknod: %s\n", std::strerror(errno));
        return;
    }
    Tool to_device;
    RunToEnd(&to_device, {"-o", dir / "null"});
    EXPECT_EQ(ExitCode(to_device), 0) << to_device.Err();
    const struct stat device = Stat(dir / "null");
    EXPECT_TRUE(S_ISCHR(device.st_mode));
    EXPECT_EQ(device.st_rdev, ::makedev(1, 3));
}

TEST(OutputFile, LinksAreWrittenThrough) {
    TempDir dir;
    Tool reference;
    RunToEnd(&reference, {"-o", dir / "reference"});
    ASSERT_EQ(ExitCode(reference), 0) << reference.Err();
    const Bytes frame = ReadFile(dir / "reference");
    ASSERT_EQ(frame.size(), kRawFrame);

    // A link to a file: the file gets the frame, the link stays.
    WriteText(dir / "file", "old");
    fs::create_symlink("file", dir / "link");
    // A dangling link into a subfolder: its target is created.
    fs::create_directory(dir / "sub");
    fs::create_symlink("sub/new", dir / "dangling");
    // A hard link: the other name sees the new content.
    WriteText(dir / "hard", "old");
    fs::create_hard_link(dir / "hard", dir / "other");
    const ino_t inode = Stat(dir / "hard").st_ino;
    for (const char* name : {"link", "dangling", "hard"}) {
        Tool tool;
        RunToEnd(&tool, {"-o", dir / name});
        EXPECT_EQ(ExitCode(tool), 0) << name << ": " << tool.Err();
    }
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(ReadFile(dir / "file"), frame);
    EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
    EXPECT_EQ(ReadFile(dir / "sub/new"), frame);
    EXPECT_EQ(Stat(dir / "hard").st_ino, inode);
    EXPECT_EQ(Stat(dir / "hard").st_nlink, 2u);
    EXPECT_EQ(ReadFile(dir / "other"), frame);

    // A link to the tool's own standard output (as /dev/stdout is) writes
    // to that descriptor as it is: here after what the file holds.
    WriteText(dir / "log", "head");
    fs::create_symlink("/proc/self/fd/1", dir / "own-stdout");
    Tool to_stdout;
    to_stdout.stdout_path = dir / "log";
    RunToEnd(&to_stdout, {"-o", dir / "own-stdout"});
    EXPECT_EQ(ExitCode(to_stdout), 0) << to_stdout.Err();
    Bytes appended = Text("head");
    appended.insert(appended.end(), frame.begin(), frame.end());
    EXPECT_EQ(ReadFile(dir / "log"), appended);
    EXPECT_TRUE(fs::is_symlink(dir / "own-stdout"));

    // A loop is one clear error and stays as it was.
    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    const std::vector<std::string> before = Entries(dir.path());
    Tool looped;
    RunToEnd(&looped, {"-o", dir / "loop-a"});
    EXPECT_EQ(ExitCode(looped), kErrorExit);
    EXPECT_EQ(looped.Err(),
              "noise-frame: cannot write '" + dir / "loop-a" + "': Too many levels of symbolic links\n");
    EXPECT_EQ(Entries(dir.path()), before);
    EXPECT_TRUE(fs::is_symlink(dir / "loop-a"));
}

TEST(OutputFile, ExistingFilesKeepTheirIdentity) {
    TempDir dir;
    const bool root = ::geteuid() == 0;
    // A private file stays private, with its owner and group.
    WriteText(dir / "private", "old");
    ::chmod((dir / "private").c_str(), 0600);
    if (root) {
        ASSERT_EQ(::chown((dir / "private").c_str(), 65534, 65534), 0);
    }
    const struct stat was = Stat(dir / "private");
    Tool kept;
    RunToEnd(&kept, {"-o", dir / "private"});
    EXPECT_EQ(ExitCode(kept), 0) << kept.Err();
    const struct stat now = Stat(dir / "private");
    EXPECT_EQ(now.st_mode & 07777, 0600u);
    EXPECT_EQ(now.st_uid, was.st_uid);
    EXPECT_EQ(now.st_gid, was.st_gid);
    EXPECT_EQ(now.st_size, static_cast<off_t>(kRawFrame));

    // In a folder everyone may write to, as an unprivileged user: a
    // write-protected file of one's own is refused and left alone; a
    // writable file of someone else's keeps its owner.
    const std::function<void()> as_user = Unprivileged();
    if (root && !as_user) GTEST_SKIP() << "no user 'nobody' to run without privileges";
    ::chmod(dir.path().c_str(), 0755);
    fs::create_directory(dir / "shared");
    ::chmod((dir / "shared").c_str(), 0777);
    const std::string locked = dir / "shared/locked";
    WriteText(locked, "keep me");
    if (root) {
        ASSERT_EQ(::chown(locked.c_str(), 65534, 65534), 0);
    }
    ::chmod(locked.c_str(), 0444);
    Tool refused;
    RunToEnd(&refused, {"-o", locked}, as_user);
    EXPECT_EQ(ExitCode(refused), kErrorExit);
    EXPECT_EQ(refused.Err(), "noise-frame: cannot write '" + locked + "': Permission denied\n");
    EXPECT_EQ(ReadFile(locked), Text("keep me"));
    EXPECT_EQ(Stat(locked).st_mode & 07777, 0444u);
    EXPECT_EQ(Entries(dir / "shared"), std::vector<std::string>{"locked"});

    // The same user's new file; and a writable file in a folder that takes
    // no new files, which is rewritten in place.
    const std::string fresh = dir / "shared/fresh";
    Tool created;
    RunToEnd(&created, {"-o", fresh}, as_user);
    EXPECT_EQ(ExitCode(created), 0) << created.Err();
    EXPECT_EQ(Stat(fresh).st_size, static_cast<off_t>(kRawFrame));
    EXPECT_EQ(Stat(fresh).st_uid, root ? 65534u : ::geteuid());
    fs::create_directory(dir / "closed");
    WriteText(dir / "closed/open", "old");
    ::chmod((dir / "closed/open").c_str(), 0666);
    ::chmod((dir / "closed").c_str(), 0555);
    Tool in_place;
    RunToEnd(&in_place, {"-o", dir / "closed/open"}, as_user);
    EXPECT_EQ(ExitCode(in_place), 0) << in_place.Err();
    EXPECT_EQ(Stat(dir / "closed/open").st_size, static_cast<off_t>(kRawFrame));
    EXPECT_EQ(Entries(dir / "closed"), std::vector<std::string>{"open"});

    if (!root) return;  // giving a file to another owner needs root
    const std::string foreign = dir / "shared/foreign";
    WriteText(foreign, "old");
    ::chmod(foreign.c_str(), 0666);
    Tool written;
    RunToEnd(&written, {"-o", foreign}, as_user);
    EXPECT_EQ(ExitCode(written), 0) << written.Err();
    EXPECT_EQ(Stat(foreign).st_uid, 0u);
    EXPECT_EQ(Stat(foreign).st_size, static_cast<off_t>(kRawFrame));
    EXPECT_EQ(Entries(dir / "shared"), (std::vector<std::string>{"foreign", "fresh", "locked"}));
}

// A 1 MiB tmpfs on a scratch folder, unmounted at the end; mounting needs
// root (mounted() says whether it worked).
class SmallDisk {
  public:
    SmallDisk() { mounted_ = ::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, "size=1m") == 0; }
    ~SmallDisk() {
        if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    std::string operator/(const std::string& name) const { return dir_ / name; }

  private:
    TempDir dir_;
    bool mounted_ = false;
};

TEST(OutputFile, InPlaceRewriteWithoutRoomLeavesTheFile) {
    SmallDisk disk;
    if (!disk.mounted()) GTEST_SKIP() << "mounting a small tmpfs needs root: " << std::strerror(errno);
    const std::function<void()> as_user = Unprivileged();
    if (!as_user) GTEST_SKIP() << "no user 'nobody' to run without privileges";
    // Both in-place cases: a second hard link, and a file of root's that
    // `nobody` writes in a folder open to all. The temporary fits beside the
    // old file; a second copy of three frames does not.
    fs::create_directory(disk / "shared");
    ::chmod((disk / "shared").c_str(), 0777);
    Bytes old(102400);
    for (size_t k = 0; k < old.size(); ++k) old[k] = static_cast<uint8_t>(k * 7 + k / 251);
    for (const bool linked : {true, false}) {
        const std::string target = linked ? disk / "clip.raw" : disk / "shared/clip.raw";
        std::ofstream(target, std::ios::binary).write(reinterpret_cast<const char*>(old.data()), old.size());
        ::chmod(target.c_str(), 0666);
        if (linked) {
            ASSERT_EQ(::link(target.c_str(), (disk / "clip-link.raw").c_str()), 0);
        }
        const std::string folder = fs::path(target).parent_path();
        const std::vector<std::string> entries = Entries(folder);
        Tool full;
        RunToEnd(&full, {"--frames", "3", "-o", target}, linked ? std::function<void()>{} : as_user);
        EXPECT_EQ(ExitCode(full), kErrorExit) << linked;
        EXPECT_EQ(full.Err(), "noise-frame: cannot write '" + target + "': No space left on device\n");
        EXPECT_EQ(ReadFile(target), old) << linked;
        EXPECT_EQ(Entries(folder), entries) << linked;
        // One frame fits, and is written in place.
        Tool fits;
        RunToEnd(&fits, {"-o", target}, linked ? std::function<void()>{} : as_user);
        EXPECT_EQ(ExitCode(fits), 0) << fits.Err();
        EXPECT_EQ(ReadFile(target).size(), kRawFrame) << linked;
        EXPECT_EQ(Stat(target).st_uid, 0u);
        fs::remove(target);
    }
}

TEST(OutputFile, ConcurrentInPlaceRewritesStayWhole) {
    // Two runs rewrite one hard-linked file at once: it ends as the whole
    // output of one of them. 24 MiB each, so the copies overlap often.
    TempDir dir;
    const std::vector<std::string> frames = {"--frames", "96", "-q"};
    Bytes expected[2];
    for (int k = 0; k < 2; ++k) {
        std::vector<std::string> args = frames;
        args.insert(args.end(), {"--step", std::to_string(k + 1), "-o", dir / ("alone" + std::to_string(k))});
        Tool alone;
        RunToEnd(&alone, args);
        ASSERT_EQ(ExitCode(alone), 0) << alone.Err();
        expected[k] = ReadFile(dir / ("alone" + std::to_string(k)));
    }
    constexpr int kRounds = 8;
    for (int round = 0; round < kRounds; ++round) {
        WriteText(dir / "out.raw", "old");
        fs::remove(dir / "link.raw");
        fs::create_hard_link(dir / "out.raw", dir / "link.raw");
        Tool runs[2];
        for (int k = 0; k < 2; ++k) {
            std::vector<std::string> args = frames;
            args.insert(args.end(), {"--step", std::to_string(k + 1), "-o", dir / "out.raw"});
            Start(&runs[k], args);
        }
        for (Tool& run : runs) {
            Finish(&run);
            EXPECT_EQ(ExitCode(run), 0) << run.Err();
        }
        const Bytes got = ReadFile(dir / "out.raw");
        ASSERT_TRUE(got == expected[0] || got == expected[1]) << "a mixed file in round " << round;
    }
}

TEST(OutputFile, SignalsAndLimitsLeaveNoTemporary) {
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        TempDir dir;
        WriteText(dir / "out.raw", "old");
        Tool tool;
        Start(&tool, {"--frames", "100000", "-o", dir / "out.raw"});
        // Wait until the tool holds a file in the folder (named or not).
        const std::string fds = "/proc/" + std::to_string(tool.pid) + "/fd";
        const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
        bool writing = false;
        while (!writing && !Poll(&tool) && std::chrono::steady_clock::now() < deadline) {
            std::error_code ec;
            for (const auto& fd : fs::directory_iterator(fds, ec)) {
                const std::string target = fs::read_symlink(fd.path(), ec).string();
                if (target.rfind(dir.path().string() + "/", 0) == 0) writing = true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_TRUE(writing) << "signal " << sig;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // some frames written
        ::kill(tool.pid, sig);
        Finish(&tool);
        EXPECT_TRUE(WIFSIGNALED(tool.status) && WTERMSIG(tool.status) == sig)
            << "signal " << sig << ", status " << tool.status << ": " << tool.Err();
        EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"out.raw"}) << "signal " << sig;
        EXPECT_EQ(ReadFile(dir / "out.raw"), Text("old")) << "signal " << sig;
    }

    // A file-size limit of 1 MiB: one line, exit 2, nothing left.
    TempDir dir;
    Tool limited;
    RunToEnd(&limited, {"--frames", "10", "-o", dir / "big.raw"}, [] {
        const rlimit limit = {1 << 20, 1 << 20};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const rlimit no_core = {0, 0};
        ::setrlimit(RLIMIT_CORE, &no_core);
    });
    EXPECT_EQ(ExitCode(limited), kErrorExit);
    EXPECT_EQ(limited.Err(), "noise-frame: cannot write '" + dir / "big.raw" + "': File too large\n");
    EXPECT_TRUE(Entries(dir.path()).empty());
}

TEST(OutputFile, NoBinaryToATerminalAndNoPartialRunUnderAMemoryLimit) {
    // Standard output a terminal: one line, exit 2, nothing on the terminal.
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    Tool to_terminal;
    to_terminal.stdout_path = ::ptsname(terminal);
    RunToEnd(&to_terminal, {});
    EXPECT_EQ(ExitCode(to_terminal), kErrorExit);
    EXPECT_EQ(to_terminal.Err(), "noise-frame: not writing binary frames to a terminal: give -o PATH or a pipe\n");
    uint8_t some[64];
    EXPECT_LE(::read(terminal, some, sizeof some), 0);
    ::close(terminal);

#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit";
#else
    // 256 workers under a 256 MiB address-space limit: fewer workers, the
    // same whole stream.
    TempDir dir;
    Tool one, many;
    RunToEnd(&one, {"--frames", "300", "-f", "ppm", "-j1", "-o", dir / "one.ppm"});
    RunToEnd(&many, {"--frames", "300", "-f", "ppm", "-j256", "-o", dir / "many.ppm"}, [] {
        const rlimit limit = {256 << 20, 256 << 20};
        ::setrlimit(RLIMIT_AS, &limit);
    });
    EXPECT_EQ(ExitCode(one), 0) << one.Err();
    EXPECT_EQ(ExitCode(many), 0) << many.Err();
    EXPECT_EQ(ReadFile(dir / "many.ppm"), ReadFile(dir / "one.ppm"));
#endif
}

TEST(OutputFile, LongPathsAndFolders) {
    TempDir dir;
    // An absolute path 5 characters short of PATH_MAX: the folder chain is
    // built one relative step at a time.
    constexpr size_t kLength = PATH_MAX - 5;
    const std::string step(200, 'd');
    const std::string name = "frame.raw";
    std::string path = dir.path().string();
    int folder = ::open(path.c_str(), O_PATH | O_DIRECTORY);
    while (path.size() + 1 + step.size() + 2 + 1 + name.size() < kLength) {
        ASSERT_EQ(::mkdirat(folder, step.c_str(), 0700), 0);
        const int next = ::openat(folder, step.c_str(), O_PATH | O_DIRECTORY);
        ::close(folder);
        folder = next;
        path += "/" + step;
    }
    const std::string pad(kLength - (path.size() + 2 + name.size()), 'p');
    ASSERT_EQ(::mkdirat(folder, pad.c_str(), 0700), 0);
    ::close(folder);
    path += "/" + pad + "/" + name;
    ASSERT_EQ(path.size(), kLength);
    Tool deep;
    RunToEnd(&deep, {"-o", path});
    EXPECT_EQ(ExitCode(deep), 0) << deep.Err();
    EXPECT_EQ(ReadFile(path).size(), kRawFrame);

    // A folder, named with or without the slash, is one clear error.
    fs::create_directory(dir / "out");
    for (const std::string& out : {dir / "out/", dir / "out"}) {
        Tool tool;
        RunToEnd(&tool, {"-o", out});
        EXPECT_EQ(ExitCode(tool), kErrorExit);
        EXPECT_EQ(tool.Err(), "noise-frame: cannot write '" + out + "': Is a directory\n");
        EXPECT_TRUE(Entries(dir / "out").empty());
    }
}

TEST(OutputFile, NamedTemporariesAppearOnlyUntilCommitOrSignal) {
    TempDir dir;
    std::string error;
    const uint8_t data[] = {1, 2, 3};
    {
        OutputFile file;
        file.UseNamedTemporary(true);
        ASSERT_TRUE(file.Open(dir / "a.bin", &error)) << error;
        ASSERT_TRUE(file.Write(data, sizeof data, &error)) << error;
        ASSERT_EQ(Entries(dir.path()).size(), 1u);  // only the temporary
        EXPECT_EQ(Entries(dir.path())[0].rfind(".noise-frame-", 0), 0u);
    }  // destroyed uncommitted
    EXPECT_TRUE(Entries(dir.path()).empty());

    OutputFile file;  // unnamed: nothing shows until Commit
    ASSERT_TRUE(file.Open(dir / "a.bin", &error)) << error;
    ASSERT_TRUE(file.Write(data, sizeof data, &error)) << error;
    EXPECT_TRUE(Entries(dir.path()).empty());
    ASSERT_TRUE(file.Commit(&error)) << error;
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"a.bin"});
    EXPECT_EQ(ReadFile(dir / "a.bin"), Bytes(data, data + 3));

    // A child holding a named temporary dies by SIGTERM and removes it.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        CatchEndingSignals(RemoveNamedTemporaries);
        OutputFile child;
        child.UseNamedTemporary(true);
        std::string child_error;
        if (!child.Open(dir / "a.bin", &child_error) || !child.Write(data, sizeof data, &child_error))
            ::_exit(1);
        if (::write(ready[1], "r", 1) != 1) ::_exit(1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char byte = 0;
    EXPECT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(Entries(dir.path()).size(), 2u);
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"a.bin"});
    EXPECT_EQ(ReadFile(dir / "a.bin"), Bytes(data, data + 3));
}

}  // namespace
