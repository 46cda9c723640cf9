// How much memory a noise-frame run's buffers take, and how many workers
// fit: every frame buffer is made before any output is opened, so a run
// that cannot fit is refused before it writes anything.
#pragma once

#include <cstdint>
#include <string>

#include "tools/frame_args.h"

struct WorkerPlan {
    uint32_t workers = 1;  // frame workers, each with its own buffers
    uint32_t slots = 1;    // frames in flight, SlotCount(workers)
    bool split = false;    // one worker, whose frames are split across `threads` threads
    uint32_t threads = 1;  // threads that render
};

// Frames in flight for `workers` frame workers: two each, so that a worker
// renders on while its last frame waits to be written; one for a single worker.
uint32_t SlotCount(uint32_t workers);

// The bytes of one frame in flight (pixels and encoding) and of one
// worker's own buffers (render scratch, PNG encoder, thread stack).
uint64_t SlotBytes(const FrameArgs& args);
uint64_t WorkerBytes(const FrameArgs& args);

// The plan for `jobs` threads (at least 1) within `budget` bytes: with fewer
// frames than jobs, one worker whose frames are split across up to
// max_split_threads threads; otherwise up to jobs frame workers. Fewer
// threads where the buffers of all would not fit. False with a one-line *error naming the size,
// the format and the memory when not even one worker fits.
bool PlanWorkers(const FrameArgs& args, uint32_t jobs, uint32_t max_split_threads, uint64_t budget,
                 WorkerPlan* plan, std::string* error);

// What this process's frame buffers may take: half the machine's memory, and
// no more than the address-space and data limits (ulimit -v, -d) leave.
uint64_t MemoryBudget();
