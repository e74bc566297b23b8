#include "support/worker_ring.h"

#include <atomic>
#include <gtest/gtest.h>

namespace plumbrae::testing {
namespace {

struct Square {
    int in = 0;
    long out = 0;
};

TEST(WorkerRing, GivesEveryPieceBackDoneAndInOrderThroughManyTurnsOfTheRing) {
    support::WorkerRing<Square> ring([](Square& slot) { slot.out = long{slot.in} * slot.in; });
    int submitted = 0;
    int taken = 0;
    // Fill the ring, then take back one, two, ... at a time while filling again.
    for (int round = 1; taken < 5000; ++round) {
        while (ring.hasRoom() && submitted < 5000) {
            ring.slotToFill().in = submitted++;
            ring.submit();
        }
        for (int i = 0; i < round % 7 + 1 && ring.hasPending(); ++i) {
            const Square& done = ring.next();
            ASSERT_EQ(done.in, taken);
            ASSERT_EQ(done.out, long{taken} * taken);
            ring.release();
            ++taken;
        }
    }
    EXPECT_FALSE(ring.hasPending());
}

TEST(WorkerRing, KeepsTheOwnerAnsweringWhileThePieceItWaitsForIsNotDone) {
    std::atomic<int> waits{0};
    support::WorkerRing<Square> ring([&](Square& slot) {
        while (waits.load() < 3) {
            std::this_thread::yield();
        }
        slot.out = 1;
    });
    ring.slotToFill().in = 1;
    ring.submit();
    EXPECT_EQ(ring.next([&] { ++waits; }).out, 1);
    EXPECT_GE(waits.load(), 3);
    ring.release();
}

} // namespace
} // namespace plumbrae::testing
