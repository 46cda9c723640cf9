// The worker pool on std::thread: a generation count under one mutex starts
// each round, a count of finished workers ends it.
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/workers.h"

struct WorkerPool {
    std::mutex mutex;
    std::condition_variable start, done;
    void (*job)(void*, int) = nullptr;
    void* context = nullptr;
    unsigned round = 0;  // counts rounds; a change starts one
    int finished = 0;    // pool threads done with the current round
    bool quit = false;
    std::vector<std::thread> threads;
};

namespace {

void Serve(WorkerPool* pool, int k) {
    unsigned seen = 0;
    for (;;) {
        std::unique_lock<std::mutex> lock(pool->mutex);
        pool->start.wait(lock, [&] { return pool->quit || pool->round != seen; });
        if (pool->quit) return;
        seen = pool->round;
        lock.unlock();
        pool->job(pool->context, k);
        lock.lock();
        if (++pool->finished == static_cast<int>(pool->threads.size())) pool->done.notify_one();
    }
}

}  // namespace

int ProcessorCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

WorkerPool* StartWorkers(int count) {
    auto* pool = new (std::nothrow) WorkerPool;
    if (pool == nullptr) return nullptr;
    if (count > kMaxWorkers) count = kMaxWorkers;
    for (int k = 1; k < count; ++k) {
        try {
            pool->threads.emplace_back(Serve, pool, k);
        } catch (const std::system_error&) {
            break;  // a smaller pool
        }
    }
    return pool;
}

int WorkerCount(const WorkerPool* pool) { return static_cast<int>(pool->threads.size()) + 1; }

void RunWorkers(WorkerPool* pool, void (*job)(void*, int), void* context) {
    {
        std::lock_guard<std::mutex> lock(pool->mutex);
        pool->job = job;
        pool->context = context;
        pool->finished = 0;
        ++pool->round;
    }
    pool->start.notify_all();
    job(context, 0);
    std::unique_lock<std::mutex> lock(pool->mutex);
    pool->done.wait(lock, [&] { return pool->finished == static_cast<int>(pool->threads.size()); });
}

void StopWorkers(WorkerPool* pool) {
    if (pool == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(pool->mutex);
        pool->quit = true;
    }
    pool->start.notify_all();
    for (std::thread& t : pool->threads) t.join();
    delete pool;
}
