// The ordered frame ring under many threads: every frame is taken exactly
// once, strictly in order, from a slot that no later frame has overwritten.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "ring/frame_ring.h"

namespace {

TEST(FrameRing, ManyWorkersTakeEveryFrameOnceInOrder) {
    struct Case {
        int workers;
        uint32_t size;
        uint64_t total;
    };
    const Case cases[] = {{2, 1, 500}, {8, 2, 3000}, {16, 4, 5000}, {12, 24, 5000}, {3, 7, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.workers << " workers, " << c.size << " slots, " << c.total
                                        << " frames");
        FrameRing ring(c.size, c.total);
        std::vector<uint64_t> slots(c.size, UINT64_MAX);  // the frame each slot holds
        std::vector<uint64_t> taken;                       // in the order taken
        std::atomic<int> bad_slot{0};
        auto work = [&] {
            uint64_t k = 0;
            for (;;) {
                const FrameRing::Job job = ring.Next(true, &k);
                if (job == FrameRing::Job::kNone) return;
                if (job == FrameRing::Job::kRender) {
                    slots[k % c.size] = k;
                    std::this_thread::yield();  // let others run while the slot is held
                    ring.Rendered(k);
                } else {
                    if (slots[k % c.size] != k) ++bad_slot;
                    taken.push_back(k);  // one taker at a time: no lock needed
                    ring.Taken(k);
                }
            }
        };
        std::vector<std::thread> threads;
        for (int w = 0; w < c.workers; ++w) threads.emplace_back(work);
        for (std::thread& t : threads) t.join();
        EXPECT_EQ(bad_slot.load(), 0) << "a slot was overwritten before its frame was taken";
        ASSERT_EQ(taken.size(), c.total);
        for (uint64_t k = 0; k < c.total; ++k) ASSERT_EQ(taken[k], k) << "taken out of order";
    }
}

}  // namespace
