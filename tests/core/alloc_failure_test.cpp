// Frame buffers when memory runs out. The test program is linked with
// calloc and free wrapped (-Wl,--wrap): once armed, the wrapper refuses one
// chosen calloc call and records what it hands out and what comes back.
#include <gtest/gtest.h>

#include <cstddef>

#include "render/frame.h"
#if defined(_WIN32)
#include <windows.h>

#include "app/animation.h"
#endif

namespace {

constexpr int kLogSize = 8;

struct AllocationLog {
    int fail_at;  // the calloc call, counted from 1 after arming, that returns null; 0: not armed
    int calls;
    void* given[kLogSize];  // what calloc handed out while armed
    int given_count;
    void* freed[kLogSize];  // what free received while armed
    int freed_count;
};

AllocationLog Log;

void Arm(int fail_at) { Log = AllocationLog{fail_at, 0, {}, 0, {}, 0}; }

AllocationLog Disarm() {
    const AllocationLog log = Log;
    Log.fail_at = 0;
    return log;
}

bool WasFreed(const AllocationLog& log, const void* p) {
    for (int k = 0; k < log.freed_count; ++k) {
        if (log.freed[k] == p) return true;
    }
    return false;
}

}  // namespace

extern "C" void* __real_calloc(size_t count, size_t size);
extern "C" void __real_free(void* p);

extern "C" void* __wrap_calloc(size_t count, size_t size) {
    if (Log.fail_at == 0) return __real_calloc(count, size);
    if (++Log.calls == Log.fail_at) return nullptr;
    void* p = __real_calloc(count, size);
    if (Log.given_count < kLogSize) Log.given[Log.given_count++] = p;
    return p;
}

extern "C" void __wrap_free(void* p) {
    if (Log.fail_at != 0 && p != nullptr && Log.freed_count < kLogSize) Log.freed[Log.freed_count++] = p;
    __real_free(p);
}

namespace {

TEST(FrameBuffers, FailedAllocationLeavesBothNullAndFreesTheOther) {
    for (int fail_at : {1, 2}) {  // the first buffer, then the second
        Arm(fail_at);
        const bool allocated = AllocateFrameBuffers();
        const AllocationLog log = Disarm();
        ASSERT_GE(log.calls, fail_at) << "the buffers were not allocated with calloc";
        EXPECT_FALSE(allocated) << "call " << fail_at << " refused";
        EXPECT_EQ(PixelBuffer, nullptr) << "call " << fail_at << " refused";
        EXPECT_EQ(ByteImage, nullptr) << "call " << fail_at << " refused";
        EXPECT_GE(log.given_count, 1);
        for (int k = 0; k < log.given_count; ++k) {
            EXPECT_TRUE(WasFreed(log, log.given[k])) << "call " << fail_at << " refused: buffer kept";
        }
    }
    // With memory to spare the same wrapper lets both through.
    Arm(3);
    const bool allocated = AllocateFrameBuffers();
    Disarm();
    EXPECT_TRUE(allocated);
    EXPECT_NE(PixelBuffer, nullptr);
    EXPECT_NE(ByteImage, nullptr);
    FreeFrameBuffers();
}

#if defined(_WIN32)
TEST(FrameBuffers, ProgramEndsQuietlyWithoutThem) {
    // Refusing calloc must reach the buffers first: otherwise RunAnimation
    // would open its window and never return.
    Arm(1);
    ASSERT_FALSE(AllocateFrameBuffers());
    ASSERT_EQ(Disarm().calls, 2);

    Arm(2);
    RunAnimation();  // returns, without a window, instead of running the frame loop
    Disarm();
    EXPECT_EQ(PixelBuffer, nullptr);
    EXPECT_EQ(ByteImage, nullptr);
    EXPECT_EQ(FindWindowA("Noise animation", nullptr), nullptr);
}
#endif

}  // namespace
