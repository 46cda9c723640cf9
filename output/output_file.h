// Writing an output file the way a user expects from shell redirection and
// cp, without ever damaging what the path names: devices, FIFOs and sockets
// are written directly, symbolic links are written through, and a regular
// file is replaced only once complete, keeping its permissions, owner,
// group and hard links. No temporary outlives the process unless it is
// killed by SIGKILL or the machine loses power.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Writes all of data to fd, resuming after short writes and EINTR. False
// with errno set on failure.
bool WriteAllToFd(int fd, const uint8_t* data, size_t size);

// Removes every named temporary that exists right now: the clean-up a
// program that writes OutputFiles gives CatchEndingSignals
// (platform/exit_signals.h), so that no temporary outlives a signal.
// Async-signal-safe.
void RemoveNamedTemporaries();

// One output path, written in one go: Open, Write as often as needed, then
// Commit. What the path names decides how it is written:
// - a FIFO, character or block device, socket or terminal: opened (a socket
//   is connected to) and written directly, in order, never replaced;
// - a symbolic link: followed to its final target, which is created when
//   the link dangles; a loop is an error;
// - a name under /proc, as /dev/stdout and /dev/fd/N are: one of this
//   process's descriptors is written to as it is, anything else is opened
//   (a regular file truncated) as shell redirection would;
// - a folder: an error ("Is a directory");
// - a new name, or a regular file whose owner and group the process can give
//   a new file: the frames go to an unnamed temporary (or a short hidden
//   ".noise-frame-XXXXXX" one where the file system has no O_TMPFILE) that
//   Commit renames over the name atomically, with the old file's permission
//   bits, owner and group;
// - a regular file with other hard links, or one the process could not
//   re-create with its owner and group: the frames are collected in a
//   temporary and Commit copies them into the existing file, which keeps
//   its identity (catchable signals wait for the copy to finish).
// A regular file the process may not open for writing is refused and left
// as it was. Until Commit succeeds the target is untouched (apart from
// devices, FIFOs and sockets, which see the bytes as they come). Errors are
// one line, "cannot write 'PATH': reason", naming the path as given; after
// an error the object is closed and any temporary removed.
class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() { Abort(); }

    bool Open(const std::string& path, std::string* error);
    bool Write(const uint8_t* data, size_t size, std::string* error);
    bool Commit(std::string* error);
    // Closes without committing: the target keeps its old content and any
    // temporary is removed. Keeps errno.
    void Abort();

    // Off by default: a short named temporary instead of O_TMPFILE, as on
    // file systems without it (this is how the tests reach that path).
    void UseNamedTemporary(bool named) { named_temporary_ = named; }

  private:
    enum class Mode { kClosed, kDirect, kReplace, kInPlace };

    bool Fail(std::string* error, int err);
    bool OpenTarget(int* err);
    bool OpenInProc(int* err);
    bool CreateTemporary(int folder, mode_t mode, int* err);
    bool CommitReplace(int* err);
    bool CommitInPlace(int* err);

    std::string path_;  // as given, for messages
    Mode mode_ = Mode::kClosed;
    int folder_ = -1;     // the folder of the final target (O_PATH)
    std::string name_;    // the final target's name in that folder
    int fd_ = -1;         // where Write goes: the target (direct) or the temporary
    int target_fd_ = -1;  // the existing file, when written in place
    int temp_slot_ = -1;  // the named temporary's entry in the signal clean-up table
    bool named_temporary_ = false;
};
