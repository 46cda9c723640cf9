// noise-frame: renders frames of the animation for a given seed and time
// value and writes them as raw pixels, PPM or PNG. Usage: FrameUsage().
// Frames are rendered and encoded by a pool of worker threads, each with its
// own buffers, and written strictly in order: into one stream by the workers
// themselves, into a file per frame by the main thread.
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "noise/noise.h"
#include "render/frame.h"
#include "render/render_path.h"
#include "render/shading.h"
#include "tools/frame_args.h"
#include "tools/frame_output.h"
#include "tools/output_file.h"

namespace {

constexpr int kExitFailure = 2;  // every error, bad argument or failed write alike
constexpr int kStdout = 1;
constexpr int kStderr = 2;
constexpr uint32_t kSlotsPerJob = 2;  // frames finished ahead of the writing, per worker
constexpr int kPipeBytes = 1 << 20;   // the default limit for unprivileged processes
constexpr char kOutOfMemory[] = "out of memory encoding a frame";

int Fail(const std::string& message) {
    std::fprintf(stderr, "noise-frame: %s\n", message.c_str());
    return kExitFailure;
}

// Text for standard output (--help, --version); a closed or full standard
// output is an error like any other failed write.
int PrintToStdout(const std::string& text) {
    if (!WriteAllToFd(kStdout, reinterpret_cast<const uint8_t*>(text.data()), text.size())) {
        return Fail(std::string("cannot write to standard output: ") + std::strerror(errno));
    }
    return 0;
}

uint32_t UsableCpus() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    return static_cast<uint32_t>(std::max(1, CPU_COUNT(&set)));
}

// One frame in flight: its pixels and its encoded bytes.
struct FrameSlot {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(kPixelCount);
    std::vector<uint8_t> bytes;
    uint32_t index = 0;
    bool ready = false;  // rendered and encoded, not yet written
    bool ok = true;      // false: encoding ran out of memory
};

// Renders and encodes frame k into the slot, using the worker's ByteImage.
// The slot's buffers are reused from frame to frame.
void ProduceFrame(const FrameArgs& args, uint32_t k, uint8_t* byte_image, FrameSlot* slot) {
    RenderFrameInto(FrameTimeOf(args, k), byte_image, slot->pixels.data());
    slot->index = k;
    slot->ok = true;
    switch (args.format) {
        case FrameFormat::kRaw:
            // On a little-endian machine the pixels are the raw frame: nothing to encode.
            if constexpr (std::endian::native == std::endian::little) return;
            slot->bytes.clear();
            EncodeRaw(slot->pixels.data(), &slot->bytes);
            return;
        case FrameFormat::kPpm:
            slot->bytes.resize(kPpmFrameBytes);
            EncodePpmInto(slot->pixels.data(), slot->bytes.data());
            return;
        case FrameFormat::kPng:
            slot->bytes.clear();
            slot->ok = EncodePng(slot->pixels.data(), &slot->bytes);
            return;
    }
}

// The bytes of a produced frame.
const uint8_t* SlotData(const FrameSlot& slot, size_t* size) {
    if (slot.bytes.empty()) {
        *size = kRawFrameBytes;
        return reinterpret_cast<const uint8_t*>(slot.pixels.data());
    }
    *size = slot.bytes.size();
    return slot.bytes.data();
}

// Progress on a terminal: frames done, rate and time left, redrawn a few
// times a second once the run has lasted a second, erased at the end.
class Progress {
  public:
    Progress(uint32_t total, bool quiet)
        : total_(total), enabled_(!quiet && total > 1 && ::isatty(kStderr)) {}
    ~Progress() { Clear(); }

    void Update(uint32_t done) {
        if (!enabled_) return;
        const auto now = Clock::now();
        if (now - start_ < kDelay || now - last_ < kInterval) return;
        last_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double rate = done / seconds;
        const double left = (total_ - done) / rate;
        std::fprintf(stderr, "\rnoise-frame: %u/%u frames, %.1f frames/s, %.0f s left\x1b[K", done, total_,
                     rate, left);
        std::fflush(stderr);
        shown_ = true;
    }

    void Clear() {
        if (!shown_) return;
        std::fputs("\r\x1b[K", stderr);
        std::fflush(stderr);
        shown_ = false;
    }

  private:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kDelay = std::chrono::seconds(1);
    static constexpr auto kInterval = std::chrono::milliseconds(200);
    const uint32_t total_;
    const bool enabled_;
    bool shown_ = false;
    const Clock::time_point start_ = Clock::now();
    Clock::time_point last_ = start_;
};

// Where the frames go: standard output, one file, or one file per frame.
class FrameSink {
  public:
    explicit FrameSink(const FrameArgs& args) : args_(args) {}

    bool Open(std::string* error) {
        // A pipe that holds several frames lets the reader take them in few,
        // large reads; where that is not allowed the default size serves.
        if (args_.to_stdout) (void)::fcntl(kStdout, F_SETPIPE_SZ, kPipeBytes);
        return !one_file_ || single_.Open(ExpandPath(args_.output, 0), error);
    }

    // Writes frame k; frames arrive in order.
    bool Put(uint32_t k, const uint8_t* data, size_t size, std::string* error) {
        if (args_.to_stdout) {
            if (!WriteAllToFd(kStdout, data, size)) {
                *error = std::string("cannot write to standard output: ") + std::strerror(errno);
                return false;
            }
            return true;
        }
        if (one_file_) return single_.Write(data, size, error);
        OutputFile file;
        return file.Open(ExpandPath(args_.output, k), error) && file.Write(data, size, error) &&
               file.Commit(error);
    }

    bool Finish(std::string* error) { return !one_file_ || single_.Commit(error); }

    // True when every frame goes to the same stream, in order.
    bool OneStream() const { return args_.to_stdout || one_file_; }

  private:
    const FrameArgs& args_;
    // Without a %d the whole output is one file (or standard output).
    const bool one_file_ = !args_.to_stdout && !args_.output.has_number;
    OutputFile single_;
};

// Frames rendered one after another on this thread.
bool WriteInSequence(const FrameArgs& args, FrameSink* sink, Progress* progress, std::string* error) {
    std::vector<uint8_t> byte_image(static_cast<size_t>(kByteRows) * kByteStride);
    FrameSlot slot;
    for (uint32_t k = 0; k < args.frames; ++k) {
        ProduceFrame(args, k, byte_image.data(), &slot);
        if (!slot.ok) {
            *error = kOutOfMemory;
            return false;
        }
        size_t size = 0;
        const uint8_t* data = SlotData(slot, &size);
        if (!sink->Put(k, data, size, error)) return false;
        progress->Update(k + 1);
    }
    return true;
}

// Signals sent to the process go to the main thread, which opens and
// commits the output files; a worker only writes to an open stream, and a
// failed write closes it and removes its temporary. Those a worker brings on itself stay with it: faults, and
// SIGPIPE and SIGXFSZ from its own writes, so that a closed pipe ends the
// run as it does without workers.
void BlockSentSignals() {
    sigset_t sent;
    sigfillset(&sent);
    for (const int own : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT, SIGSYS, SIGPIPE, SIGXFSZ}) {
        sigdelset(&sent, own);
    }
    pthread_sigmask(SIG_BLOCK, &sent, nullptr);
}

// Up to `jobs` threads running work; fewer when the system will not start
// more (the ones running share the frames), none when it starts none.
template <typename Work>
std::vector<std::thread> StartWorkers(uint32_t jobs, const Work& work) {
    std::vector<std::thread> workers;
    workers.reserve(jobs);
    for (uint32_t j = 0; j < jobs; ++j) {
        try {
            workers.emplace_back(work, j);
        } catch (const std::exception&) {
            break;
        }
    }
    return workers;
}

// Frames to one stream (standard output or a single file), rendered ahead
// by `jobs` workers into a ring of slots; frame k uses slot k mod the ring
// size. The workers also do the writing: one that finds the oldest unwritten
// frame ready while nobody is writing writes it, and every ready frame after
// it, then goes back to rendering. So a write blocked on a full pipe holds up
// no rendering, and no core waits for another's turn while there is a frame
// to render.
bool WriteAhead(const FrameArgs& args, uint32_t jobs, FrameSink* sink, Progress* progress,
                std::string* error) {
    std::vector<FrameSlot> slots(static_cast<size_t>(jobs) * kSlotsPerJob);
    const auto ring = static_cast<uint32_t>(slots.size());
    std::mutex mutex;
    std::condition_variable changed;  // a frame ready, a slot freed, the writing free
    uint32_t next = 0;     // next frame a worker takes
    uint32_t written = 0;  // frames written so far, in order
    bool writing = false;  // a worker is writing
    bool stop = false;
    std::string failure;  // the first error

    auto work = [&](uint32_t) {
        BlockSentSignals();
        std::unique_lock lock(mutex);
        try {
            std::vector<uint8_t> byte_image(static_cast<size_t>(kByteRows) * kByteStride);
            while (!stop && written < args.frames) {
                FrameSlot& oldest = slots[written % ring];
                if (!writing && oldest.ready && oldest.index == written) {
                    writing = true;
                    const uint32_t k = written;
                    lock.unlock();
                    std::string write_error;
                    bool ok = oldest.ok;
                    if (!ok) {
                        write_error = kOutOfMemory;
                    } else {
                        size_t size = 0;
                        const uint8_t* data = SlotData(oldest, &size);
                        ok = sink->Put(k, data, size, &write_error);
                    }
                    if (ok) progress->Update(k + 1);
                    lock.lock();
                    oldest.ready = false;
                    writing = false;
                    written = k + 1;
                    if (!ok && !stop) {
                        stop = true;
                        failure = std::move(write_error);
                    }
                    changed.notify_all();
                } else if (next < args.frames && next - written < ring) {
                    // The slot is free: the frame a ring before has been written.
                    const uint32_t k = next++;
                    FrameSlot& slot = slots[k % ring];
                    lock.unlock();
                    ProduceFrame(args, k, byte_image.data(), &slot);
                    lock.lock();
                    slot.ready = true;
                    changed.notify_all();
                } else {
                    changed.wait(lock);
                }
            }
        } catch (const std::bad_alloc&) {
            if (!lock.owns_lock()) lock.lock();
            if (!stop) failure = kOutOfMemory;
            stop = true;
            changed.notify_all();
        }
    };
    std::vector<std::thread> workers = StartWorkers(jobs, work);
    if (workers.empty()) return WriteInSequence(args, sink, progress, error);
    for (auto& w : workers) w.join();
    if (!stop) return true;
    *error = failure;
    return false;
}

// Frames to files, rendered by `jobs` workers into a ring of slots and
// written by this thread; frame k uses slot k mod the ring size, so at most
// that many frames wait for the writer.
bool WriteInParallel(const FrameArgs& args, uint32_t jobs, FrameSink* sink, Progress* progress,
                     std::string* error) {
    std::vector<FrameSlot> slots(static_cast<size_t>(jobs) * kSlotsPerJob);
    const auto ring = static_cast<uint32_t>(slots.size());
    std::mutex mutex;
    std::condition_variable slot_ready, slot_free;
    uint32_t next = 0;     // next frame a worker takes
    uint32_t written = 0;  // frames the writer has finished
    bool stop = false;
    bool out_of_memory = false;  // a worker could not get its buffers

    auto work = [&](uint32_t) {
        BlockSentSignals();
        try {
            std::vector<uint8_t> byte_image(static_cast<size_t>(kByteRows) * kByteStride);
            std::unique_lock lock(mutex);
            while (!stop && next < args.frames) {
                const uint32_t k = next++;
                FrameSlot& slot = slots[k % ring];
                // The slot is free once the frame ring places before has been written.
                slot_free.wait(lock, [&] { return stop || k - written < ring; });
                if (stop) break;
                lock.unlock();
                ProduceFrame(args, k, byte_image.data(), &slot);
                lock.lock();
                slot.ready = true;
                slot_ready.notify_all();
            }
        } catch (const std::bad_alloc&) {
            std::lock_guard lock(mutex);
            out_of_memory = true;
            stop = true;
            slot_ready.notify_all();
            slot_free.notify_all();
        }
    };
    std::vector<std::thread> workers = StartWorkers(jobs, work);
    if (workers.empty()) return WriteInSequence(args, sink, progress, error);

    bool ok = true;
    for (uint32_t k = 0; k < args.frames && ok; ++k) {
        FrameSlot& slot = slots[k % ring];
        bool failed = false;
        {
            std::unique_lock lock(mutex);
            slot_ready.wait(lock, [&] { return out_of_memory || (slot.ready && slot.index == k); });
            failed = out_of_memory || !slot.ok;
        }
        size_t size = 0;
        const uint8_t* data = SlotData(slot, &size);
        if (failed) {
            *error = kOutOfMemory;
            ok = false;
        } else {
            ok = sink->Put(k, data, size, error);
        }
        {
            std::lock_guard lock(mutex);
            slot.ready = false;
            written = k + 1;
            if (!ok) stop = true;
            slot_free.notify_all();
        }
        progress->Update(k + 1);
    }
    {
        std::lock_guard lock(mutex);
        stop = true;
        slot_free.notify_all();
    }
    for (auto& w : workers) w.join();
    return ok;
}

// Renders and writes every frame; the tables are ready.
int WriteFrames(const FrameArgs& args) {
    std::string error;
    FrameSink sink(args);
    if (!sink.Open(&error)) return Fail(error);
    const uint32_t jobs =
        std::min(args.jobs != 0 ? args.jobs : std::min(UsableCpus(), kMaxJobs), args.frames);
    Progress progress(args.frames, args.quiet);
    bool ok = false;
    try {
        if (jobs <= 1) {
            ok = WriteInSequence(args, &sink, &progress, &error);
        } else if (sink.OneStream()) {
            ok = WriteAhead(args, jobs, &sink, &progress, &error);
        } else {
            ok = WriteInParallel(args, jobs, &sink, &progress, &error);
        }
    } catch (const std::bad_alloc&) {
        error = "out of memory for the frame buffers";
    }
    progress.Clear();
    if (!ok || !sink.Finish(&error)) return Fail(error);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    PrepareOutputSignals();
    if (argc <= 1) {
        std::fputs(FrameUsage(), stderr);
        return kExitFailure;
    }
    FrameArgs args;
    std::string error;
    if (!ParseFrameArgs(argc - 1, argv + 1, &args, &error)) return Fail(error);
    if (args.help) return PrintToStdout(FrameUsage());
    if (args.version) return PrintToStdout(std::string("noise-frame ") + PROJECT_VERSION + "\n");

    InitNoise(static_cast<int32_t>(args.seed));  // the seed's bits; 0 seeds from the clock
    BuildPalette();
    BuildSineTable();
    return WriteFrames(args);
}
