#include "support/ManualScheduler.h"
#include "ui/PanelLifetime.h"

#include <gtest/gtest.h>

using namespace pivana;
using pivana::test::ManualScheduler;

namespace {

constexpr int delay = 30'000;

struct Lifetime : testing::Test {
    ManualScheduler clock;
    int released = 0;
    PanelLifetime lifetime{clock, delay, [this] { ++released; }};
};

}  // namespace

TEST_F(Lifetime, AClosedPanelIsLetGoOnceAfterTheDelay) {
    lifetime.shown();
    lifetime.hidden();
    clock.advance(delay - 1);
    EXPECT_EQ(released, 0) << "closing and opening again soon finds the panel built";
    clock.advance(1);
    EXPECT_EQ(released, 1);
    clock.advance(10 * delay);
    EXPECT_EQ(released, 1);
}

TEST_F(Lifetime, APanelShownAgainIsKept) {
    lifetime.shown();
    lifetime.hidden();
    clock.advance(delay / 2);
    lifetime.shown();
    clock.advance(10 * delay);
    EXPECT_EQ(released, 0) << "never under the user's eyes";

    // Each closing starts the wait afresh: the first closing's wait lets nothing go.
    lifetime.hidden();
    clock.advance(delay / 2);
    lifetime.shown();
    lifetime.hidden();
    clock.advance(delay / 2);
    EXPECT_EQ(released, 0);
    clock.advance(delay / 2);
    EXPECT_EQ(released, 1);
}

TEST_F(Lifetime, NothingIsLetGoWhileADialogOfThePanelIsOpen) {
    // A dialog runs inside a call from the panel; the panel can close meanwhile (a change of
    // desktop), and must still be there when the dialog returns to it.
    lifetime.shown();
    lifetime.setDialogOpen(true);
    lifetime.hidden();
    clock.advance(10 * delay);
    EXPECT_EQ(released, 0);

    lifetime.setDialogOpen(false);
    clock.advance(delay - 1);
    EXPECT_EQ(released, 0) << "the wait starts once the dialog is closed";
    clock.advance(1);
    EXPECT_EQ(released, 1);
}

TEST_F(Lifetime, ADialogClosedOverAShownPanelStartsNoWait) {
    lifetime.shown();
    lifetime.setDialogOpen(true);
    lifetime.setDialogOpen(false);
    clock.advance(10 * delay);
    EXPECT_EQ(released, 0);
}

TEST(LifetimeWithoutDelay, ReleasesOnTheSchedulerNotInsideTheCall) {
    ManualScheduler clock;
    int released = 0;
    PanelLifetime lifetime(clock, 0, [&] { ++released; });
    lifetime.shown();
    lifetime.hidden();
    EXPECT_EQ(released, 0) << "the call that hides the panel may come from the panel itself";
    clock.advance(0);
    EXPECT_EQ(released, 1);
}
