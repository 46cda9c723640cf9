// The worker pool where there are no threads (WebAssembly without shared
// memory): one worker, the calling thread.
#include <new>

#include "platform/workers.h"

struct WorkerPool {};

int ProcessorCount() { return 1; }

WorkerPool* StartWorkers(int /*count*/) { return new (std::nothrow) WorkerPool; }

int WorkerCount(const WorkerPool* /*pool*/) { return 1; }

void RunWorkers(WorkerPool* /*pool*/, void (*job)(void*, int), void* context) { job(context, 0); }

void StopWorkers(WorkerPool* pool) { delete pool; }
