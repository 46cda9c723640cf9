// A few worker threads that each run the same job at once, for splitting
// one frame across the processors. std::thread on POSIX, CreateThread on
// Windows; a WebAssembly build has one thread and runs the jobs in turn.
#pragma once

struct WorkerPool;

// Processors this process may run on; at least 1.
int ProcessorCount();

// Starts a pool of count workers (1 .. kMaxWorkers): the calling thread and
// count - 1 threads of the pool's own. Where a thread cannot start, the pool
// is smaller; null only when memory is short.
constexpr int kMaxWorkers = 16;
WorkerPool* StartWorkers(int count);

// The pool's workers, the calling thread included.
int WorkerCount(const WorkerPool* pool);

// Runs job(context, k) for k = 0 .. WorkerCount - 1 at once, k = 0 on the
// calling thread, and returns when every one has returned. Everything
// written before the call is seen by every job, and everything the jobs
// wrote is seen after it. One caller at a time.
void RunWorkers(WorkerPool* pool, void (*job)(void* context, int k), void* context);

// Ends the pool's threads and frees it. Null does nothing.
void StopWorkers(WorkerPool* pool);
