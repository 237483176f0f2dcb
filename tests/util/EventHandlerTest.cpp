#include <gtest/gtest.h>

#include "tests/support/TestWorld.h"
#include "util/Error.h"
#include "util/EventHandler.h"

namespace zorv::test {
namespace {

TEST(EventHandler, AnUntrappedErrorBecomesARunTimeErrorBoxAndTheProgramGoesOn) {
    TestWorld world;
    RunEventHandler([] { throw Error(1002, "The device is in use"); });
    RunEventHandler([] { throw std::runtime_error("bad state"); });
    bool ran = false;
    RunEventHandler([&] { ran = true; });
    ASSERT_EQ(world.ui.boxes.size(), 2u);
    EXPECT_EQ(world.ui.boxes[0].text, "Run-time error 1002: The device is in use");
    EXPECT_EQ(world.ui.boxes[0].title, "ZORVDIAL");
    EXPECT_EQ(world.ui.boxes[1].text, "Run-time error 51: bad state");
    EXPECT_TRUE(ran);
    EXPECT_FALSE(world.programEnded());
}

}  // namespace
}  // namespace zorv::test
