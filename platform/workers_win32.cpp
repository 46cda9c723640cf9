// The worker pool on Win32 threads: each pool thread waits on its own start
// event and signals its own done event. Setting and waiting on events orders
// memory, so the job and its results need no other fence.
#include <windows.h>

#include <new>

#include "platform/workers.h"

struct WorkerPool {
    void (*job)(void*, int) = nullptr;
    void* context = nullptr;
    volatile LONG quit = 0;
    int threads = 0;  // pool threads, besides the caller
    HANDLE thread[kMaxWorkers] = {};
    HANDLE start[kMaxWorkers] = {};  // auto-reset: one round each
    HANDLE done[kMaxWorkers] = {};
};

namespace {

struct ThreadStart {
    WorkerPool* pool;
    int k;
};

DWORD WINAPI Serve(LPVOID parameter) {
    WorkerPool* pool = static_cast<ThreadStart*>(parameter)->pool;
    const int k = static_cast<ThreadStart*>(parameter)->k;
    delete static_cast<ThreadStart*>(parameter);
    for (;;) {
        WaitForSingleObject(pool->start[k - 1], INFINITE);
        if (pool->quit != 0) return 0;
        pool->job(pool->context, k);
        SetEvent(pool->done[k - 1]);
    }
}

}  // namespace

int ProcessorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors == 0 ? 1 : static_cast<int>(info.dwNumberOfProcessors);
}

WorkerPool* StartWorkers(int count) {
    auto* pool = new (std::nothrow) WorkerPool;
    if (pool == nullptr) return nullptr;
    if (count > kMaxWorkers) count = kMaxWorkers;
    for (int k = 1; k < count; ++k) {
        const int n = pool->threads;
        pool->start[n] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        pool->done[n] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        auto* arg = new (std::nothrow) ThreadStart{pool, k};
        HANDLE thread = nullptr;
        if (pool->start[n] != nullptr && pool->done[n] != nullptr && arg != nullptr) {
            thread = CreateThread(nullptr, 0, Serve, arg, 0, nullptr);
        }
        if (thread == nullptr) {
            delete arg;
            if (pool->start[n] != nullptr) CloseHandle(pool->start[n]);
            if (pool->done[n] != nullptr) CloseHandle(pool->done[n]);
            break;  // a smaller pool
        }
        pool->thread[n] = thread;
        pool->threads = n + 1;
    }
    return pool;
}

int WorkerCount(const WorkerPool* pool) { return pool->threads + 1; }

void RunWorkers(WorkerPool* pool, void (*job)(void*, int), void* context) {
    pool->job = job;
    pool->context = context;
    for (int n = 0; n < pool->threads; ++n) SetEvent(pool->start[n]);
    job(context, 0);
    if (pool->threads > 0) WaitForMultipleObjects(static_cast<DWORD>(pool->threads), pool->done, TRUE, INFINITE);
}

void StopWorkers(WorkerPool* pool) {
    if (pool == nullptr) return;
    InterlockedExchange(&pool->quit, 1);
    for (int n = 0; n < pool->threads; ++n) SetEvent(pool->start[n]);
    if (pool->threads > 0) WaitForMultipleObjects(static_cast<DWORD>(pool->threads), pool->thread, TRUE, INFINITE);
    for (int n = 0; n < pool->threads; ++n) {
        CloseHandle(pool->thread[n]);
        CloseHandle(pool->start[n]);
        CloseHandle(pool->done[n]);
    }
    delete pool;
}
