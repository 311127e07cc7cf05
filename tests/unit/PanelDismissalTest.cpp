#include "ui/PanelDismissal.h"

#include <gtest/gtest.h>

using namespace pivana;

namespace {

constexpr bool held = true;
constexpr bool up = false;
constexpr bool overPanel = true;
constexpr bool elsewhere = false;
constexpr bool hovering = true;
constexpr bool noDrag = false;

struct Dismissal : testing::Test {
    std::int64_t now = 1'000'000;
    PanelDismissal rule{[this] { return now; }};
};

}  // namespace

TEST_F(Dismissal, AClickElsewhereClosesThePanelWhenItsButtonComesUp) {
    // The window manager moves the activation at the press; the click is over at the release.
    EXPECT_FALSE(rule.activationLost(held));
    EXPECT_TRUE(rule.watchingPointer());
    EXPECT_TRUE(rule.buttonReleased(elsewhere, noDrag));

    // Seen only once the button is up (a busy app, a quick click), or taken by the keyboard.
    rule.settled();
    EXPECT_TRUE(rule.activationLost(up));
}

TEST_F(Dismissal, APressThatBecomesADragOntoThePanelKeepsItOpenForTheDrop) {
    EXPECT_FALSE(rule.activationLost(held));
    EXPECT_FALSE(rule.dragEnded(held)) << "moving off the panel and back while still held";
    // Released over the panel: the drop is on its way.
    EXPECT_FALSE(rule.buttonReleased(overPanel, hovering));
    // It lands: the batch opens the panel with a short grace, then the drag's hover ends.
    rule.suppressFor(500);
    EXPECT_FALSE(rule.dragEnded(up));
}

TEST_F(Dismissal, ADragThatEndsWithoutADropClosesThePanel) {
    // Refused, or cancelled over the panel after the release.
    EXPECT_FALSE(rule.activationLost(held));
    EXPECT_FALSE(rule.buttonReleased(overPanel, hovering));
    EXPECT_TRUE(rule.dragEnded(up));

    // Released elsewhere after crossing the panel: a click elsewhere.
    rule.settled();
    EXPECT_FALSE(rule.activationLost(held));
    EXPECT_FALSE(rule.dragEnded(held));
    EXPECT_TRUE(rule.buttonReleased(elsewhere, noDrag));
}

TEST_F(Dismissal, AClickOnThePanelItselfNeverClosesIt) {
    // The activation went elsewhere during a drop's grace, and the window manager does not
    // give it back on a click.
    rule.suppressFor(500);
    EXPECT_FALSE(rule.activationLost(up));
    now += 1000;
    EXPECT_FALSE(rule.buttonReleased(overPanel, noDrag));
    EXPECT_TRUE(rule.buttonReleased(elsewhere, noDrag));
}

TEST_F(Dismissal, ADropKeepsThePanelOpenForHalfASecondThenClicksCountAgain) {
    rule.suppressFor(500);
    now += 499;
    EXPECT_FALSE(rule.activationLost(up)) << "the mouse-up that ended the drag elsewhere";
    EXPECT_TRUE(rule.watchingPointer()) << "the panel still listens for clicks elsewhere";
    EXPECT_FALSE(rule.buttonReleased(elsewhere, noDrag));
    now += 1;
    EXPECT_TRUE(rule.buttonReleased(elsewhere, noDrag));
}

TEST_F(Dismissal, AnOpenDialogKeepsThePanelOpenUntilItCloses) {
    rule.setDialogOpen(true);
    EXPECT_FALSE(rule.activationLost(up));
    now += 60'000;
    EXPECT_FALSE(rule.buttonReleased(elsewhere, noDrag));
    // The click on the dialog's button that closed it is told only after it closed: it is the
    // dialog's, not one elsewhere. The panel takes the activation back.
    rule.setDialogOpen(false);
    EXPECT_FALSE(rule.buttonReleased(elsewhere, noDrag));
    // Losing it again starts the watch afresh.
    EXPECT_FALSE(rule.activationLost(held));
    EXPECT_TRUE(rule.buttonReleased(elsewhere, noDrag));
}

TEST_F(Dismissal, NothingIsWatchedOnceThePanelIsActiveOrClosed) {
    EXPECT_FALSE(rule.activationLost(held));
    EXPECT_FALSE(rule.buttonReleased(overPanel, hovering));
    rule.settled();
    EXPECT_FALSE(rule.watchingPointer());
    EXPECT_FALSE(rule.buttonReleased(elsewhere, noDrag));
    EXPECT_FALSE(rule.dragEnded(up)) << "a drop awaited before is forgotten";
}
