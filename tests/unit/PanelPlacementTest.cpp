#include "platform/PanelPlacement.h"

#include <gtest/gtest.h>

using pivana::PanelPlacement::place;
using pivana::PanelPlacement::tallest;

namespace {

// A 1280 × 800 screen with a 28-point panel along its top edge.
const QRect screen(0, 0, 1280, 800);
const QRect belowTopPanel(0, 28, 1280, 772);
const QSize panel(300, 240);

}  // namespace

TEST(PanelPlacement, OpensBelowATopPanelAndAboveABottomOne) {
    // An icon in the middle of a top panel: centred under it, 6 points below its bottom edge.
    EXPECT_EQ(place(QRect(620, 2, 24, 24), panel, screen, belowTopPanel), QRect(481, 32, 300, 240));
    // The same icon in a bottom panel: the panel's bottom edge 6 points above the icon.
    const QRect aboveBottomPanel(0, 0, 1280, 772);
    EXPECT_EQ(place(QRect(620, 774, 24, 24), panel, screen, aboveBottomPanel),
              QRect(481, 528, 300, 240));
}

TEST(PanelPlacement, StaysInsideTheAvailableArea) {
    // The icon at the right end of the panel: pushed left so its right edge is the screen's.
    EXPECT_EQ(place(QRect(1252, 2, 24, 24), panel, screen, belowTopPanel).topRight(),
              QPoint(1279, 32));
    // At the left end: pushed right.
    EXPECT_EQ(place(QRect(4, 2, 24, 24), panel, screen, belowTopPanel).topLeft(), QPoint(0, 32));
    // No icon rectangle, a click at the very top of the screen: never under the top panel.
    EXPECT_EQ(place(QRect(640, 0, 1, 1), panel, screen, belowTopPanel).top(), 28);
    // Taller than the screen: kept at its size, starting at the top of the free area.
    EXPECT_EQ(place(QRect(620, 2, 24, 24), QSize(300, 900), screen, belowTopPanel),
              QRect(481, 28, 300, 900));
}

TEST(PanelPlacement, FollowsTheScreenTheAnchorIsOn) {
    // A second screen to the right of the first and lower down, its tray at the bottom.
    const QRect second(1280, 200, 1024, 600);
    const QRect secondFree(1280, 200, 1024, 572);
    const QRect placed = place(QRect(2290, 774, 1, 1), panel, second, secondFree);
    EXPECT_EQ(placed.bottom(), 774 - 6 - 1);
    EXPECT_EQ(placed.right(), 2303) << "kept inside the second screen";
    // A point in the upper half of the second screen opens below it, although the same height
    // lies in the lower half of the first screen.
    EXPECT_EQ(place(QRect(1500, 420, 1, 1), panel, second, secondFree).top(), 427);
}

TEST(PanelPlacement, OpensBesideASidePanel) {
    // A 28-point panel along the left edge: to the right of the icon, level with its centre.
    const QRect rightOfLeftPanel(28, 0, 1252, 800);
    EXPECT_EQ(place(QRect(2, 380, 24, 24), panel, screen, rightOfLeftPanel),
              QRect(32, 271, 300, 240));
    // Along the right edge: to its left.
    const QRect leftOfRightPanel(0, 0, 1252, 800);
    EXPECT_EQ(place(QRect(1254, 380, 24, 24), panel, screen, leftOfRightPanel),
              QRect(948, 271, 300, 240));
    // A clicked point low in the right panel: beside the panel, lifted to stay on screen.
    EXPECT_EQ(place(QRect(1266, 790, 1, 1), panel, screen, leftOfRightPanel),
              QRect(952, 560, 300, 240));
    // A point high in the left panel: never under the panel it was clicked in.
    EXPECT_EQ(place(QRect(14, 10, 1, 1), panel, screen, rightOfLeftPanel).topLeft(), QPoint(28, 0));
}

TEST(PanelPlacement, TopAndBottomPanelsWinInTheCorners) {
    // Panels along the top and the left edge: a point in the corner they share is in the top
    // one (whose tray it most likely is), so the panel opens below it.
    const QRect free(28, 28, 1252, 772);
    EXPECT_EQ(place(QRect(14, 14, 1, 1), panel, screen, free), QRect(28, 28, 300, 240));
    // A point in a left panel below the corner still opens beside it.
    EXPECT_EQ(place(QRect(14, 400, 1, 1), panel, screen, free), QRect(28, 280, 300, 240));
}

TEST(PanelPlacement, TallestIsTheFreeHeightOnTheSideItOpens) {
    // Below a top panel: from 6 points under the icon to the bottom of the screen.
    EXPECT_EQ(tallest(QRect(620, 2, 24, 24), screen, belowTopPanel), 800 - 32);
    // Above a bottom panel: from the top of the screen to 6 points above the icon.
    EXPECT_EQ(tallest(QRect(620, 774, 24, 24), screen, QRect(0, 0, 1280, 772)), 768);
    // A 1280 × 800 screen at twice the scale is 640 × 400 points; its tray 14 points high.
    const QRect doubled(0, 0, 640, 400);
    const QRect settings =
        place(QRect(626, 0, 14, 14),
              QSize(300, tallest(QRect(626, 0, 14, 14), doubled, QRect(0, 14, 640, 386))), doubled,
              QRect(0, 14, 640, 386));
    EXPECT_EQ(settings.top(), 20);
    EXPECT_EQ(settings.bottom(), 399) << "a panel that tall still ends on the screen";
}

TEST(PanelPlacement, BesideASidePanelTheWholeFreeHeightIsThere) {
    EXPECT_EQ(tallest(QRect(2, 380, 24, 24), screen, QRect(28, 0, 1252, 800)), 800);
    // A point in the corner of a bottom and a right panel: above it, up to the bottom panel.
    const QRect free(0, 0, 1252, 772);
    EXPECT_EQ(tallest(QRect(1266, 790, 1, 1), screen, free), 772);
}
