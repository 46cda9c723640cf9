// The few C++ run-time pieces the Windows programs, built without
// exceptions, take from here instead of the C++ library: allocation and the
// containers' length checks end the process instead of throwing, and the
// guards of function-local statics are a small recursive lock. Linked into
// the programs ahead of the library, they keep its exception support
// (unwinder, terminate handler, demangler: about 150 KiB) out of them.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

// The exit code of a program that cannot go on, as abort() reports it.
constexpr UINT kRunTimeFailureExit = 3;

[[noreturn]] void EndProcess() {
    ExitProcess(kRunTimeFailureExit);
    __builtin_unreachable();  // ExitProcess does not return
}

void* Allocate(std::size_t size) {
    // malloc(0) may return null; a C++ allocation of nothing is still an object.
    void* p = std::malloc(size != 0 ? size : 1);
    if (p == nullptr) EndProcess();
    return p;
}

}  // namespace

// What the library's containers call on an impossible length or a failed
// allocation.
namespace std {
[[noreturn]] void __throw_length_error(const char*) { EndProcess(); }
[[noreturn]] void __throw_bad_alloc() { EndProcess(); }
[[noreturn]] void __throw_bad_array_new_length() { EndProcess(); }
}  // namespace std

// The replaceable allocation functions: memory or the end of the process,
// never an exception; the nothrow forms give null instead.
void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size != 0 ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size != 0 ? size : 1); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

// Function-local statics: the compiler tests the guard's first byte (with
// acquire ordering) and calls these only while it is 0. One lock, held by
// the initialising thread for the whole initialisation, serialises every
// first use; it is recursive, as one static's initialiser may use another
// (BestRenderPath's asks RenderPathAvailable's). The lock is a thread id
// swapped in and out with interlocked operations, so it needs no set-up.
namespace {

volatile LONG GuardOwner = 0;  // id of the thread holding the lock; 0 when free
int GuardDepth = 0;            // nested holds of the owner; touched by the owner only

void LockGuards() {
    const auto me = static_cast<LONG>(GetCurrentThreadId());
    if (InterlockedCompareExchange(&GuardOwner, me, me) == me) {
        ++GuardDepth;
        return;
    }
    while (InterlockedCompareExchange(&GuardOwner, me, 0) != 0) Sleep(0);
    GuardDepth = 1;
}

void UnlockGuards() {
    if (--GuardDepth == 0) InterlockedExchange(&GuardOwner, 0);
}

}  // namespace

extern "C" {

// 1 when the caller is to initialise the static (holding the lock until
// __cxa_guard_release), 0 when another thread did so meanwhile.
int __cxa_guard_acquire(uint64_t* guard) {
    LockGuards();
    if (__atomic_load_n(reinterpret_cast<uint8_t*>(guard), __ATOMIC_ACQUIRE) != 0) {
        UnlockGuards();
        return 0;
    }
    return 1;
}

void __cxa_guard_release(uint64_t* guard) {
    __atomic_store_n(reinterpret_cast<uint8_t*>(guard), uint8_t{1}, __ATOMIC_RELEASE);
    UnlockGuards();
}

// Only an initialiser that throws gets here, and nothing here throws.
void __cxa_guard_abort(uint64_t*) { UnlockGuards(); }

}  // extern "C"
