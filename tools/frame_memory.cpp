// The memory a run needs, from the frame shape, the format and the number
// of workers, against what the machine and the process's limits allow.
#include "tools/frame_memory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <fstream>

#include "tools/frame_output.h"

namespace {

constexpr uint32_t kSlotsPerWorker = 2;
constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kThreadStackBytes = 8 * kMiB;  // reserved as a thread starts
// The render scratch: a band of filled rows and grid rows, with their
// coordinates, about 20 bytes per column.
constexpr uint64_t kScratchBytesPerColumn = 20;
constexpr uint64_t kScratchRowPadding = 64;

uint64_t EncodedBytes(const FrameArgs& args) {
    switch (args.format) {
        case FrameFormat::kRaw:
            // On a little-endian machine the pixels are the raw frame.
            return std::endian::native == std::endian::little ? 0 : RawFrameBytes(args.shape);
        case FrameFormat::kPpm:
            return PpmFrameBytes(args.shape);
        case FrameFormat::kPng:
            return PngEncoder::MaxBytes(args.shape);
    }
    return 0;
}

uint64_t ThreadBytes(const FrameArgs& args) {
    return kThreadStackBytes + kScratchBytesPerColumn * (static_cast<uint64_t>(args.shape.width) + kScratchRowPadding);
}

uint64_t NeedBytes(const FrameArgs& args, uint32_t workers) {
    return uint64_t{workers} * WorkerBytes(args) + uint64_t{SlotCount(workers)} * SlotBytes(args);
}

const char* FormatName(FrameFormat format) {
    switch (format) {
        case FrameFormat::kRaw:
            return "raw";
        case FrameFormat::kPpm:
            return "ppm";
        case FrameFormat::kPng:
            return "png";
    }
    return "";
}

// Pages this process uses now: its whole address space and its data (the
// first and sixth numbers of /proc/self/statm); 0 where that cannot be read.
void UsedBytes(uint64_t* space, uint64_t* data) {
    std::ifstream statm("/proc/self/statm");
    uint64_t size = 0, resident = 0, shared = 0, text = 0, lib = 0, data_pages = 0;
    *space = *data = 0;
    if (!(statm >> size >> resident >> shared >> text >> lib >> data_pages)) return;
    const auto page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    *space = size * page;
    *data = data_pages * page;
}

}  // namespace

uint32_t SlotCount(uint32_t workers) { return workers == 1 ? 1 : workers * kSlotsPerWorker; }

uint64_t SlotBytes(const FrameArgs& args) { return RawFrameBytes(args.shape) + EncodedBytes(args); }

uint64_t WorkerBytes(const FrameArgs& args) {
    const uint64_t png = args.format == FrameFormat::kPng ? PngEncoder::ScratchBytes(args.shape) : 0;
    return ThreadBytes(args) + png;
}

bool PlanWorkers(const FrameArgs& args, uint32_t jobs, uint32_t max_split_threads, uint64_t budget,
                 WorkerPlan* plan, std::string* error) {
    WorkerPlan p;
    p.workers = std::max(jobs, 1u);
    if (args.frames < jobs) {
        p.workers = 1;
        p.threads = std::min(jobs, max_split_threads);
        // Each extra thread brings its stack and scratch: as many as fit.
        while (p.threads > 1 && NeedBytes(args, 1) + (p.threads - 1) * ThreadBytes(args) > budget) --p.threads;
        p.split = p.threads > 1;
    }
    while (p.workers > 1 && NeedBytes(args, p.workers) > budget) --p.workers;
    if (!p.split) p.threads = p.workers;
    p.slots = SlotCount(p.workers);
    const uint64_t need = NeedBytes(args, p.workers);
    if (need > budget) {
        *error = "--size " + std::to_string(args.shape.width) + "x" + std::to_string(args.shape.height) + ": " +
                 FormatName(args.format) + " frames need " + std::to_string((need + kMiB - 1) / kMiB) +
                 " MiB of memory, more than the " + std::to_string(budget / kMiB) +
                 " MiB this process may use";
        return false;
    }
    *plan = p;
    return true;
}

uint64_t MemoryBudget() {
    const long pages = ::sysconf(_SC_PHYS_PAGES), page = ::sysconf(_SC_PAGESIZE);
    uint64_t budget = pages > 0 && page > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(page) / 2
                                            : UINT64_MAX;
    uint64_t used[2];
    UsedBytes(&used[0], &used[1]);
    const int limits[2] = {RLIMIT_AS, RLIMIT_DATA};
    for (int k = 0; k < 2; ++k) {
        struct rlimit limit {};
        if (::getrlimit(limits[k], &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) continue;
        const uint64_t left = limit.rlim_cur > used[k] ? limit.rlim_cur - used[k] : 0;
        budget = std::min(budget, left);
    }
    return budget;
}
