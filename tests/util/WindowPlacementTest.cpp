// Centring and cascading windows, in twips.
#include <gtest/gtest.h>

#include <QWidget>

#include "tests/support/TestWorld.h"
#include "util/WindowPlacement.h"

namespace zorv {
namespace {

TEST(WindowPlacement, Centred) {
    struct Case {
        int screenWidth, screenHeight, width, height;
        int left, top;
    };
    const Case cases[] = {
        {15360, 11520, 6000, 4500, 4680, 3510},
        {15360, 11520, 6001, 4501, 4679, 3509},     // halves are cut off
        {1000, 1000, 3001, 1000, -1000, 0},         // larger than the screen
    };
    for (const Case& c : cases) {
        const TwipPoint at = CenteredPosition(c.screenWidth, c.screenHeight, c.width, c.height);
        EXPECT_EQ(at.left, c.left);
        EXPECT_EQ(at.top, c.top);
    }
}

TEST(WindowPlacement, Cascaded) {
    // An active window with a 60-twip border and a 300-twip title bar.
    struct Case {
        const char* name;
        TwipRect active;
        int width, height;
        int left, top;
    };
    const Case cases[] = {
        {"one title bar down and right", {1000, 800, 6000, 4500}, 4000, 3000, 1360, 1160},
        {"past the right edge goes to the top left", {12000, 800, 6000, 4500}, 4000, 3000, 420, 420},
        {"past the bottom goes to the top left", {1000, 9000, 6000, 4500}, 4000, 3000, 420, 420},
        {"exactly at the edge stays", {11000, 8160, 6000, 4500}, 4000, 3000, 11360, 8520},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TwipPoint at = CascadedPosition(c.active, c.active.width - 120, c.active.height - 420, c.width,
                                              c.height, 15360, 11520);
        EXPECT_EQ(at.left, c.left);
        EXPECT_EQ(at.top, c.top);
    }
}

TEST(WindowPlacement, CenterWindowUsesTheScreenOfTheUiServices) {
    test::TestWorld world;
    world.ui.screen = {1024, 768, 96};
    QWidget window;
    window.resize(400, 300);
    CENTERWINDOW(&window);
    EXPECT_EQ(window.pos(), QPoint(312, 234));

    world.ui.screen = {2048, 1536, 192};  // the same screen at twice the density
    CENTERWINDOW(&window);
    EXPECT_EQ(window.pos(), QPoint(824, 618));
}

}  // namespace
}  // namespace zorv
