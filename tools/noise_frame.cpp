// noise-frame: renders frames of the animation for a given seed and time
// value, at any size, and writes them as raw pixels, PPM or PNG. Usage:
// FrameUsage(). Frames are rendered and encoded by a pool of worker threads,
// each with its own buffers, and written strictly in order: into one stream
// by the workers themselves, into a file per frame by the main thread. With
// fewer frames than workers, each frame is split across the threads instead.
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "output/output_file.h"
#include "platform/exit_signals.h"
#include "platform/workers.h"
#include "render/frame_rows.h"
#include "render/frame_split.h"
#include "render/tables.h"
#include "ring/frame_ring.h"
#include "tools/frame_args.h"
#include "tools/frame_memory.h"
#include "tools/frame_output.h"

namespace {

constexpr int kExitFailure = 2;  // every error, bad argument or failed write alike
constexpr int kStdout = 1;
constexpr int kStderr = 2;
constexpr int kPipeBytes = 1 << 20;   // the default limit for unprivileged processes

int Fail(const std::string& message) {
    std::fprintf(stderr, "noise-frame: %s\n", message.c_str());
    return kExitFailure;
}

// A closed or full standard output is an error like any other failed write.
bool WriteToStdout(const uint8_t* data, size_t size, std::string* error) {
    return WriteAllToFd(kStdout, data, size) ||
           SetError(error, std::string("cannot write to standard output: ") + std::strerror(errno));
}

// Text for standard output (--help, --version).
int PrintToStdout(const std::string& text) {
    std::string error;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    return WriteToStdout(bytes, text.size(), &error) ? 0 : Fail(error);
}

uint32_t UsableCpus() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    return static_cast<uint32_t>(std::max(1, CPU_COUNT(&set)));
}

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
        if (args_.to_stdout) return WriteToStdout(data, size, error);
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

// One frame in flight: its pixels and its encoded bytes, with room for the
// largest encoding reserved up front. The pixels are not cleared: every one
// is rendered before it is read, so pages are touched only by the render.
struct FrameSlot {
    std::unique_ptr<uint32_t[]> pixels;
    std::vector<uint8_t> bytes;
    bool ok = true;  // false: the PNG could not be compressed
};

// What one worker renders and encodes with.
struct Worker {
    FrameScratch scratch;             // made for the run's shape with the other buffers, then reused
    std::unique_ptr<PngEncoder> png;  // for the png format only
};

// Every buffer of a run, allocated before any output is opened, so that short
// memory fails the run before any output rather than part-way.
struct Crew {
    std::vector<Worker> workers;
    std::vector<FrameSlot> slots;  // the ring, SlotCount(workers) frames
    bool split = false;            // one worker; the splitter renders each frame across the threads
    SplitRenderer splitter;
};

// Buffers for the plan's workers and slots, halved while memory is short.
// False when not even one worker's fit.
bool AllocateCrew(const FrameArgs& args, WorkerPlan plan, Crew* crew) {
    const size_t pixels = FramePixels(args.shape);
    const size_t most = static_cast<size_t>(SlotBytes(args)) - RawFrameBytes(args.shape);
    for (;; plan.workers /= 2) {
        try {
            crew->workers.resize(plan.workers);
            for (Worker& w : crew->workers) {
                if (!plan.split) PrepareScratch(args.shape, &w.scratch);
                if (args.format == FrameFormat::kPng) w.png = std::make_unique<PngEncoder>(args.shape);
            }
            crew->slots.resize(SlotCount(plan.workers));
            for (FrameSlot& slot : crew->slots) {
                slot.pixels.reset(new uint32_t[pixels]);
                slot.bytes.reserve(most);
            }
            return true;
        } catch (const std::bad_alloc&) {
            crew->workers.clear();
            crew->slots.clear();
            if (plan.workers <= 1) return false;
        }
    }
}

// Renders frame k into the slot, on the worker's scratch or, when the crew
// splits frames, across the splitter's threads.
void RenderSlot(const FrameArgs& args, uint32_t k, Crew* crew, Worker* worker, FrameSlot* slot) {
    const uint32_t t = ScheduledFrameTime(args.schedule, k);
    if (crew->split) {
        crew->splitter.Render(args.shape, t, slot->pixels.get());
    } else {
        RenderSizedFrame(args.shape, t, &worker->scratch, slot->pixels.get());
    }
}

// Encodes the slot's pixels with the worker's encoder; the slot's reserved
// room is reused from frame to frame.
void EncodeFrame(const FrameArgs& args, Worker* worker, FrameSlot* slot) {
    slot->ok = true;
    switch (args.format) {
        case FrameFormat::kRaw:
            // On a little-endian machine the pixels are the raw frame: nothing to encode.
            if constexpr (std::endian::native == std::endian::little) return;
            slot->bytes.clear();
            EncodeRaw(args.shape, slot->pixels.get(), &slot->bytes);
            return;
        case FrameFormat::kPpm:
            slot->bytes.resize(PpmFrameBytes(args.shape));  // once: the size never changes
            EncodePpmInto(args.shape, slot->pixels.get(), slot->bytes.data());
            return;
        case FrameFormat::kPng:
            slot->bytes.clear();
            slot->ok = worker->png->Encode(slot->pixels.get(), &slot->bytes);
            return;
    }
}

void ProduceFrame(const FrameArgs& args, uint32_t k, Crew* crew, Worker* worker, FrameSlot* slot) {
    RenderSlot(args, k, crew, worker, slot);
    EncodeFrame(args, worker, slot);
}

// Writes a produced frame to the sink.
bool PutSlot(const FrameArgs& args, FrameSink* sink, uint32_t k, const FrameSlot& slot, std::string* error) {
    if (!slot.ok) return SetError(error, "cannot compress a frame");
    if (slot.bytes.empty()) {
        return sink->Put(k, reinterpret_cast<const uint8_t*>(slot.pixels.get()), RawFrameBytes(args.shape),
                         error);
    }
    return sink->Put(k, slot.bytes.data(), slot.bytes.size(), error);
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

// Frames rendered one after another on this thread (and, when the crew
// splits frames, the splitter's).
bool WriteInSequence(const FrameArgs& args, Crew* crew, FrameSink* sink, Progress* progress,
                     std::string* error) {
    for (uint32_t k = 0; k < args.frames; ++k) {
        ProduceFrame(args, k, crew, &crew->workers[0], &crew->slots[0]);
        if (!PutSlot(args, sink, k, crew->slots[0], error)) return false;
        progress->Update(k + 1);
    }
    return true;
}

// Renders the frames with the crew's workers through a ring of its slots
// and writes them in order. To one stream (standard output or a single
// file) the workers also do the writing: one that finds the oldest frame
// ready while nobody is writing writes it, then goes back to rendering, so a
// write blocked on a full pipe holds up no rendering. To a file per frame
// this thread writes, since it is the one that handles signals while files
// are opened and committed. Fewer workers run when the system will not start
// them all; none, and this thread renders alone.
bool WriteFrames(const FrameArgs& args, Crew* crew, FrameSink* sink, Progress* progress,
                 std::string* error) {
    if (crew->workers.size() <= 1) return WriteInSequence(args, crew, sink, progress, error);
    const bool workers_write = sink->OneStream();
    FrameRing ring(static_cast<uint32_t>(crew->slots.size()), args.frames);
    std::string failure;  // written only by the thread taking a frame, until the ring stops
    auto work = [&](Worker* worker) {
        uint64_t k = 0;
        for (;;) {
            const FrameRing::Job job = ring.Next(workers_write, &k);
            if (job == FrameRing::Job::kNone) return;
            FrameSlot& slot = crew->slots[k % ring.size()];
            const auto frame = static_cast<uint32_t>(k);
            if (job == FrameRing::Job::kRender) {
                ProduceFrame(args, frame, crew, worker, &slot);
                ring.Rendered(k);
            } else if (PutSlot(args, sink, frame, slot, &failure)) {
                progress->Update(frame + 1);
                ring.Taken(k);
            } else {
                ring.Stop();
            }
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(crew->workers.size());
    {
        // Signals sent to the process go to this thread, which opens and
        // commits the output files; a worker only writes to an open stream,
        // and a failed write closes it and removes its temporary.
        SentSignalsKeptFromNewThreads keep;
        for (Worker& worker : crew->workers) {
            try {
                threads.emplace_back(work, &worker);
            } catch (const std::exception&) {
                break;
            }
        }
    }
    if (threads.empty()) return WriteInSequence(args, crew, sink, progress, error);
    bool ok = true;
    for (uint32_t k = 0; k < args.frames && ok && !workers_write; ++k) {
        ok = ring.WaitRendered(k) && PutSlot(args, sink, k, crew->slots[k % ring.size()], error);
        if (ok) {
            ring.Taken(k);
            progress->Update(k + 1);
        }
    }
    if (!ok) ring.Stop();
    for (auto& t : threads) t.join();
    if (!failure.empty()) return SetError(error, failure);
    return ok;
}

// Renders and writes every frame; the tables are ready. The buffers are
// made before the output is opened, so a run refused for memory writes nothing.
int RunFrames(const FrameArgs& args) {
    if (args.to_stdout && ::isatty(kStdout)) {
        return Fail("not writing binary frames to a terminal: give -o PATH or a pipe");
    }
    std::string error;
    const uint32_t jobs = args.jobs != 0 ? args.jobs : std::min(UsableCpus(), kMaxJobs);
    WorkerPlan plan;
    if (!PlanWorkers(args, jobs, kMaxWorkers, MemoryBudget(), &plan, &error)) return Fail(error);
    Crew crew;
    if (!AllocateCrew(args, plan, &crew)) return Fail("out of memory for the frame buffers");
    if (plan.split) {
        SentSignalsKeptFromNewThreads keep;  // as for the frame workers
        crew.split = crew.splitter.Start(static_cast<int>(plan.threads));
    }
    FrameSink sink(args);
    if (!sink.Open(&error)) return Fail(error);
    Progress progress(args.frames, args.quiet);
    const bool ok = WriteFrames(args, &crew, &sink, &progress, &error);
    progress.Clear();
    if (!ok || !sink.Finish(&error)) return Fail(error);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CatchEndingSignals(RemoveNamedTemporaries);
    if (argc <= 1) {
        std::fputs(FrameUsage(), stderr);
        return kExitFailure;
    }
    FrameArgs args;
    std::string error;
    if (!ParseFrameArgs(argc - 1, argv + 1, &args, &error)) return Fail(error);
    if (args.help) return PrintToStdout(FrameUsage());
    if (args.version) return PrintToStdout(std::string("noise-frame ") + PROJECT_VERSION + "\n");

    BuildTables(static_cast<int32_t>(args.seed));  // the seed's bits; 0 seeds from the clock
    return RunFrames(args);
}
