// The virtual clock every timing test stands on.
#include <gtest/gtest.h>

#include "tests/support/TestWorld.h"
#include "util/EventPump.h"

namespace zorv::test {
namespace {

// A pause written the way the library waits: pump until the time of day says enough,
// counting midnight as the day going on.
void PauseFor(double seconds) {
    const double start = TimeOfDay();
    while (true) {
        DoEvents();
        double now = TimeOfDay();
        if (now < start) now += 86400;
        if (now >= start + seconds) return;
    }
}

TEST(VirtualClock, AMinutesPauseRunsOnVirtualTimeInFewPasses) {
    TestWorld world;
    const double before = world.pump.Now();
    PauseFor(60);
    EXPECT_NEAR(world.pump.Now() - before, 60, 0.1);
    // The clock moves by whole steps when nothing is due, never one tick per call.
    EXPECT_LE(world.pump.passes(), 60 / 0.05 + 2);
}

TEST(VirtualClock, APauseAcrossMidnightLastsItsFullLength) {
    TestWorld world(86400 - 3);
    const double before = world.pump.Now();
    PauseFor(10);
    EXPECT_NEAR(world.pump.Now() - before, 10, 0.1);
    EXPECT_LT(TimeOfDay(), 10);
}

TEST(VirtualClock, TasksRunInTimeOrderAndTheClockJumpsToThem) {
    TestWorld world;
    world.pump.SetStep(100);
    std::vector<int> order;
    const double start = world.pump.Now();
    world.pump.After(2.0, [&] { order.push_back(2); });
    world.pump.After(0.5, [&] {
        order.push_back(1);
        world.pump.After(0, [&] { order.push_back(3); });  // due at once, after its parent
    });
    world.pump.RunUntil([&] { return order.size() == 3; }, 10);
    EXPECT_EQ(order, (std::vector<int>{1, 3, 2}));
    EXPECT_DOUBLE_EQ(world.pump.Now() - start, 2.0);
}

TEST(VirtualClock, ABlockingSleepMovesTimeButRunsNothing) {
    TestWorld world;
    bool ran = false;
    world.pump.After(0.1, [&] { ran = true; });
    const double before = world.pump.Now();
    SleepBlocking(500);
    EXPECT_DOUBLE_EQ(world.pump.Now() - before, 0.5);
    EXPECT_FALSE(ran);
    DoEvents();
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace zorv::test
