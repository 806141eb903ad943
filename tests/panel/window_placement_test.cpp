#include "panel/window_placement.h"

#include <gtest/gtest.h>

namespace {

const QRect kScreen(0, 0, 1024, 768);
const QSize kWindow(200, 150);

bool Overlaps(QPoint place, const QRect& anchor) {
    return QRect(place, kWindow).intersects(anchor);
}

} // namespace

TEST(WindowPlacement, GoesBesideThePanelWhereverTheScreenHasRoom) {
    // In the middle: to the right, level with the panel's top.
    const QRect middle(376, 300, 275, 300);
    const QPoint right = PlaceBeside(middle, kWindow, kScreen);
    EXPECT_GT(right.x(), middle.right());
    EXPECT_EQ(right.y(), middle.top());

    // At the right edge: to the left.
    const QRect atRight(800, 100, 224, 300);
    const QPoint left = PlaceBeside(atRight, kWindow, kScreen);
    EXPECT_LT(left.x() + kWindow.width(), atRight.left());

    // As wide as the screen: below, or above when it sits at the bottom.
    const QRect wide(0, 100, 1024, 300);
    EXPECT_GT(PlaceBeside(wide, kWindow, kScreen).y(), wide.bottom());
    const QRect wideAtBottom(0, 500, 1024, 268);
    EXPECT_LT(PlaceBeside(wideAtBottom, kWindow, kScreen).y() + kWindow.height(),
              wideAtBottom.top());

    // Low on the screen: beside it still, moved up to stay on the screen.
    const QRect low(376, 700, 275, 60);
    const QPoint lifted = PlaceBeside(low, kWindow, kScreen);
    EXPECT_TRUE(kScreen.contains(QRect(lifted, kWindow)));
    EXPECT_FALSE(Overlaps(lifted, low));

    // On a screen that does not start at the origin.
    const QRect second(1024, 0, 1280, 1024);
    const QRect there(1100, 50, 275, 300);
    const QPoint beside = PlaceBeside(there, kWindow, second);
    EXPECT_TRUE(second.contains(QRect(beside, kWindow)));
    EXPECT_FALSE(Overlaps(beside, there));
}

TEST(WindowPlacement, StaysOnTheScreenWhenNoSideHasRoom) {
    const QRect everywhere(0, 0, 1024, 768);
    EXPECT_TRUE(kScreen.contains(QRect(PlaceBeside(everywhere, kWindow, kScreen), kWindow)));
}
