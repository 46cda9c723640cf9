// Output files that never damage what they write to: the target is
// resolved once (links followed, kind decided), then written directly,
// replaced atomically or rewritten in place. Named temporaries are listed
// in a table that the ending signals' clean-up clears before the process dies.
#include "output/output_file.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "cli/arg_text.h"
#include "platform/exit_signals.h"

bool WriteAllToFd(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

namespace {

// Symbolic links followed before giving up with ELOOP, as the kernel does.
constexpr int kMaxLinkHops = 40;

// Named temporaries that exist right now. A slot is filled and cleared only
// while the ending signals are blocked, so the handler sees each one whole.
constexpr char kTempPrefix[] = ".noise-frame-";
constexpr int kTempRandomChars = 6;
constexpr int kTempNameSize = sizeof kTempPrefix + kTempRandomChars;  // with the NUL
constexpr int kTempSlots = 4;  // one output is open at a time; a few to spare

struct TempSlot {
    volatile sig_atomic_t armed;
    int folder;
    char name[kTempNameSize];
};
TempSlot g_temps[kTempSlots];


// Runs make(name) with fresh ".noise-frame-XXXXXX" names in `folder` until
// one does not exist yet, and records it in a free slot. make returns 0 or
// -1 with errno. Call with the ending signals blocked. Returns the slot, or
// -1 with *err set.
template <typename Make>
int CreateNamed(int folder, Make make, int* err) {
    int slot = 0;
    while (slot < kTempSlots && g_temps[slot].armed) ++slot;
    if (slot == kTempSlots) {
        *err = EMFILE;
        return -1;
    }
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    constexpr int kAttempts = 100;
    TempSlot& t = g_temps[slot];
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        unsigned char random[kTempRandomChars];
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
            *err = errno != 0 ? errno : EIO;
            return -1;
        }
        std::memcpy(t.name, kTempPrefix, sizeof kTempPrefix - 1);
        for (int k = 0; k < kTempRandomChars; ++k) {
            t.name[sizeof kTempPrefix - 1 + k] = kChars[random[k] % (sizeof kChars - 1)];
        }
        t.name[kTempNameSize - 1] = '\0';
        if (make(t.name) == 0) {
            t.folder = folder;
            t.armed = 1;
            return slot;
        }
        if (errno != EEXIST) {
            *err = errno;
            return -1;
        }
    }
    *err = EEXIST;
    return -1;
}

// Removes (or, when `keep`, only forgets) the named temporary in a slot.
void ReleaseNamed(int slot, bool keep) {
    EndingSignalsHeld held;
    TempSlot& t = g_temps[slot];
    if (!keep) ::unlinkat(t.folder, t.name, 0);
    t.armed = 0;
}

void CloseFd(int* fd) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
}

// Closes *fd and forgets it, reporting what close reports (a delayed write
// error, say): false with *err set.
bool CloseReporting(int* fd, int* err) {
    const int taken = std::exchange(*fd, -1);
    return ::close(taken) == 0 || (*err = errno, false);
}

// Opens the folder part of a path ("" or no slash: the current folder) and
// gives the last part, "." when the path ends in '/'.
int OpenFolderOf(int base, const std::string& path, std::string* name, int* err) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    *name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name->empty()) *name = ".";
    const int fd =
        ::openat(path[0] == '/' ? AT_FDCWD : base, folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) *err = errno;
    return fd;
}

// A stream connection to the Unix socket `name` in `folder`, or -1 with
// *err set. The address goes through /proc so that it stays short.
int ConnectSocket(int folder, const std::string& name, int* err) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const int n =
        std::snprintf(address.sun_path, sizeof address.sun_path, "/proc/self/fd/%d/%s", folder, name.c_str());
    if (n < 0 || static_cast<size_t>(n) >= sizeof address.sun_path) {
        *err = ENAMETOOLONG;
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        *err = errno;
        if (fd >= 0) ::close(fd);
        return -1;
    }
    return fd;
}

// Copies the bytes [start, end) of `from` to the same offsets in `to`.
bool CopyRange(int from, int to, off_t start, off_t end, int* err) {
    off_t in = start, out = start;
    while (in < end) {
        const ssize_t n = ::copy_file_range(from, &in, to, &out, static_cast<size_t>(end - in), 0);
        if (n > 0) continue;
        if (n == 0) break;
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
            *err = errno;
            return false;
        }
        break;  // no kernel copy between these files: copy through a buffer
    }
    std::vector<uint8_t> buffer(size_t{1} << 16);
    while (in < end) {
        const ssize_t n = ::pread(from, buffer.data(), std::min<size_t>(buffer.size(), end - in), in);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *err = n < 0 ? errno : EIO;
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t m = ::pwrite(to, buffer.data() + done, static_cast<size_t>(n - done), out);
            if (m < 0 && errno == EINTR) continue;
            if (m < 0) return *err = errno, false;
            done += m;
            out += m;
        }
        in += n;
    }
    return true;
}

}  // namespace

void RemoveNamedTemporaries() {
    for (TempSlot& slot : g_temps) {
        if (slot.armed) ::unlinkat(slot.folder, slot.name, 0);
    }
}

bool OutputFile::Fail(std::string* error, int err) {
    *error = "cannot write " + QuoteForError(path_) + ": " + std::strerror(err);
    Abort();
    return false;
}

bool OutputFile::Open(const std::string& path, std::string* error) {
    Abort();
    path_ = path;
    int err = 0;
    if (path.empty()) return Fail(error, ENOENT);
    return OpenTarget(&err) || Fail(error, err);
}

bool OutputFile::CreateTemporary(int folder, mode_t mode, int* err) {
    if (!named_temporary_) {
        fd_ = ::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
        if (fd_ >= 0) return true;
        // Only a file system without unnamed files falls back to a name.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            *err = errno;
            return false;
        }
    }
    EndingSignalsHeld held;
    temp_slot_ = CreateNamed(
        folder,
        [&](const char* name) {
            fd_ = ::openat(folder, name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
            return fd_ >= 0 ? 0 : -1;
        },
        err);
    return temp_slot_ >= 0;
}

// Names under /proc (where /dev/stdout and /dev/fd/N lead) stand for open
// files rather than paths. One of this process's own descriptors is shared
// as it is, offset and append mode included; anything else is opened as the
// kernel resolves it, truncating a regular file as shell redirection does.
bool OutputFile::OpenInProc(int* err) {
    mode_ = Mode::kDirect;
    struct stat target {};
    if (::fstatat(folder_, name_.c_str(), &target, 0) != 0) return *err = errno, false;
    if (S_ISDIR(target.st_mode)) return *err = EISDIR, false;
    struct stat folder {};
    struct stat own_fds {};
    struct stat own {};
    const bool digits = name_.find_first_not_of("0123456789") == std::string::npos && name_.size() < 10;
    if (digits && ::fstat(folder_, &folder) == 0 && ::stat("/proc/self/fd", &own_fds) == 0 &&
        folder.st_ino == own_fds.st_ino && folder.st_dev == own_fds.st_dev) {
        const int fd = std::stoi(name_);
        if (::fstat(fd, &own) == 0 && own.st_dev == target.st_dev && own.st_ino == target.st_ino) {
            fd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
            return fd_ >= 0 || (*err = errno, false);
        }
    }
    const int truncate = S_ISREG(target.st_mode) ? O_TRUNC : 0;
    fd_ = ::openat(folder_, name_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | truncate);
    return fd_ >= 0 || (*err = errno, false);
}

bool OutputFile::OpenTarget(int* err) {
    folder_ = OpenFolderOf(AT_FDCWD, path_, &name_, err);
    if (folder_ < 0) return false;

    // Follow symbolic links one at a time, each relative to its own folder,
    // so that no path longer than the ones given is ever built.
    struct stat st {};
    bool exists = false;
    for (int hops = 0;; ++hops) {
        if (::fstatat(folder_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) return *err = errno, false;
            break;  // a new file (or the dangling end of a link)
        }
        struct statfs where {};
        if (::fstatfs(folder_, &where) == 0 && where.f_type == PROC_SUPER_MAGIC) return OpenInProc(err);
        if (!S_ISLNK(st.st_mode)) {
            exists = true;
            break;
        }
        if (hops == kMaxLinkHops) return *err = ELOOP, false;
        std::vector<char> target(PATH_MAX);  // a link's text is shorter than PATH_MAX
        const ssize_t n = ::readlinkat(folder_, name_.c_str(), target.data(), target.size());
        if (n < 0) return *err = errno, false;
        if (static_cast<size_t>(n) == target.size()) return *err = ENAMETOOLONG, false;
        const int next =
            OpenFolderOf(folder_, std::string(target.data(), static_cast<size_t>(n)), &name_, err);
        if (next < 0) return false;
        ::close(folder_);
        folder_ = next;
    }

    if (!exists) {
        mode_ = Mode::kReplace;
        return CreateTemporary(folder_, 0666, err);  // the umask applies as to any new file
    }
    if (S_ISDIR(st.st_mode)) return *err = EISDIR, false;
    if (!S_ISREG(st.st_mode)) {
        mode_ = Mode::kDirect;
        fd_ = ::openat(folder_, name_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0 && errno == ENXIO && S_ISSOCK(st.st_mode)) {
            fd_ = ConnectSocket(folder_, name_, err);
            return fd_ >= 0;
        }
        return fd_ >= 0 || (*err = errno, false);
    }

    // A regular file: refused unless this process may write to it.
    if (::faccessat(folder_, name_.c_str(), W_OK, AT_EACCESS) != 0) return *err = errno, false;
    bool in_place = st.st_nlink > 1;
    if (!CreateTemporary(folder_, 0600, err)) {
        // A folder that takes no new files: collect the frames elsewhere.
        if (*err != EACCES && *err != EPERM) return false;
        const char* tmpdir = ::getenv("TMPDIR");
        const int staging =
            ::open(tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (staging < 0) return false;
        fd_ = ::openat(staging, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        ::close(staging);
        if (fd_ < 0) return false;  // the folder's error is the one to report
        in_place = true;
    }
    // A new file takes over only if it can have the old one's owner and group.
    if (!in_place && ::fchown(fd_, st.st_uid, st.st_gid) != 0) in_place = true;
    if (in_place) {
        mode_ = Mode::kInPlace;
        target_fd_ = ::openat(folder_, name_.c_str(), O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
        return target_fd_ >= 0 || (*err = errno, false);
    }
    mode_ = Mode::kReplace;
    return ::fchmod(fd_, st.st_mode & 07777) == 0 || (*err = errno, false);
}

bool OutputFile::Write(const uint8_t* data, size_t size, std::string* error) {
    if (fd_ < 0) return Fail(error, EBADF);
    return WriteAllToFd(fd_, data, size) || Fail(error, errno);
}

bool OutputFile::CommitReplace(int* err) {
    EndingSignalsHeld held;  // the temporary gets its name and loses it again before any signal
    if (temp_slot_ < 0) {
        // An unnamed file is given a short name first: rename needs one.
        char proc_path[32];
        std::snprintf(proc_path, sizeof proc_path, "/proc/self/fd/%d", fd_);
        temp_slot_ = CreateNamed(
            folder_,
            [&](const char* name) {
                if (::linkat(fd_, "", folder_, name, AT_EMPTY_PATH) == 0) return 0;
                if (errno == EEXIST) return -1;
                return ::linkat(AT_FDCWD, proc_path, folder_, name, AT_SYMLINK_FOLLOW);
            },
            err);
        if (temp_slot_ < 0) return false;
    }
    if (!CloseReporting(&fd_, err)) return false;
    if (::renameat(folder_, g_temps[temp_slot_].name, folder_, name_.c_str()) != 0)
        return *err = errno, false;
    ReleaseNamed(temp_slot_, true);
    temp_slot_ = -1;
    return true;
}

// Rewrites the existing file with the temporary's content. Another run
// rewriting the same file in place is waited for (an OFD lock on the whole
// file), so each copy is whole. Before any old byte changes, the room for the
// new content is reserved and the part past the old end is written, so a
// full disk or quota is met while the file is still as it was; a file
// system without fallocate gets the second step only (its holes and
// copy-on-write overwrites are not covered).
bool OutputFile::CommitInPlace(int* err) {
    const off_t size = ::lseek(fd_, 0, SEEK_CUR);
    if (size < 0) return *err = errno, false;
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;  // l_start = l_len = 0: the whole file
    while (::fcntl(target_fd_, F_OFD_SETLKW, &whole) != 0) {
        if (errno != EINTR) return *err = errno, false;
    }
    EndingSignalsHeld held;  // from here a signal waits until the file is whole again
    struct stat old {};
    if (::fstat(target_fd_, &old) != 0) return *err = errno, false;
    // Cuts the file back to its old end, freeing what was reserved or
    // written past it; the first error is the one reported.
    const auto refuse = [&] {
        [[maybe_unused]] const int cut = ::ftruncate(target_fd_, old.st_size);
        return false;
    };
    if (size > 0 && ::fallocate(target_fd_, FALLOC_FL_KEEP_SIZE, 0, size) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS) {
        *err = errno;
        return refuse();
    }
    if (size > old.st_size && !CopyRange(fd_, target_fd_, old.st_size, size, err)) return refuse();
    if (!CopyRange(fd_, target_fd_, 0, std::min(size, old.st_size), err)) return false;
    if (size < old.st_size && ::ftruncate(target_fd_, size) != 0) return *err = errno, false;
    return CloseReporting(&target_fd_, err);
}

bool OutputFile::Commit(std::string* error) {
    int err = 0;
    bool done = false;
    switch (mode_) {
        case Mode::kClosed:
            return Fail(error, EBADF);
        case Mode::kDirect:
            done = CloseReporting(&fd_, &err);
            break;
        case Mode::kReplace:
            done = CommitReplace(&err);
            break;
        case Mode::kInPlace:
            done = CommitInPlace(&err);
            break;
    }
    if (!done) return Fail(error, err);
    Abort();  // closes what is left: the staging temporary, the folder
    return true;
}

void OutputFile::Abort() {
    const int saved = errno;  // keeps the caller's errno for its message
    CloseFd(&fd_);
    CloseFd(&target_fd_);
    if (temp_slot_ >= 0) ReleaseNamed(temp_slot_, false);
    temp_slot_ = -1;
    CloseFd(&folder_);
    mode_ = Mode::kClosed;
    errno = saved;
}
