#include <gtest/gtest.h>

#include "qt/window_placement.h"

namespace {

struct Placement {
    const char* name;
    QRect anchor;
    QSize size;
    QPoint expected;
    QPoint anchorMovedTo = {};  // null: the anchor stays
};

// A 1024 x 768 screen with a 32-pixel panel at the top, a 16-pixel gap.
const QRect Screen(0, 32, 1024, 736);

TEST(PlacePair, GoesWhereItFitsWithoutOverlapAndStaysOnTheScreen) {
    const Placement cases[] = {
        {"right of a window at the left", QRect(10, 40, 390, 330), QSize(300, 250), QPoint(416, 40)},
        {"left of a window at the right", QRect(620, 40, 390, 330), QSize(300, 250), QPoint(304, 40)},
        {"below a centred window too wide for a side", QRect(317, 40, 390, 330), QSize(400, 250), QPoint(317, 386)},
        {"pulled up onto the screen", QRect(10, 600, 390, 160), QSize(300, 250), QPoint(416, 518)},
        {"above when the window sits low in the middle", QRect(317, 500, 390, 268), QSize(400, 250),
         QPoint(317, 234)},
        // No side has room: the least overlap, wholly on the screen.
        {"a window that fills the screen", QRect(0, 32, 1000, 736), QSize(300, 250), QPoint(724, 32)},
        // No side has room, but the screen is wide enough for both.
        {"a tall centred window moves aside", QRect(317, 100, 390, 600), QSize(350, 250), QPoint(674, 100),
         QPoint(268, 100)},
    };
    for (const Placement& c : cases) {
        SCOPED_TRACE(c.name);
        const PairPlacement placed = PlacePair(c.anchor, c.size, Screen, 16);
        EXPECT_EQ(placed.window, c.expected);
        EXPECT_EQ(placed.anchor, c.anchorMovedTo.isNull() ? c.anchor.topLeft() : c.anchorMovedTo);
        EXPECT_TRUE(Screen.contains(QRect(placed.window, c.size)));
    }
}

}  // namespace
