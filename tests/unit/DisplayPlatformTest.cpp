#include "platform/DisplayPlatform.h"

#include <gtest/gtest.h>

using pivana::DisplayPlatform::choose;

TEST(DisplayPlatform, WaylandSessionsRunOnXWayland) {
    struct Row {
        const char* name;
        QByteArray requested;
        QByteArray platform;
        bool toldWhy;
    };
    for (const Row& row : {
             Row{"nothing asked", "", "xcb", false},
             Row{"Wayland asked", "wayland", "xcb", true},
             Row{"Wayland with EGL", "wayland-egl", "xcb", true},
             Row{"Wayland first in a list", "wayland;xcb", "xcb", true},
             Row{"xcb asked", "xcb", "", false},
             Row{"off screen, as tests run it", "offscreen", "", false},
             Row{"xcb first, then Wayland", "xcb;wayland", "", false},
         }) {
        SCOPED_TRACE(row.name);
        const auto choice = choose({row.requested, true, true});
        EXPECT_TRUE(choice.runs);
        EXPECT_EQ(choice.platform, row.platform);
        EXPECT_EQ(!choice.message.isEmpty(), row.toldWhy);
    }
}

TEST(DisplayPlatform, X11SessionsKeepWhatIsAsked) {
    EXPECT_EQ(choose({"", false, true}).platform, QByteArray());
    EXPECT_TRUE(choose({"", false, true}).message.isEmpty());
}

TEST(DisplayPlatform, WaylandWithoutXWaylandSaysWhatIsMissing) {
    for (const QByteArray& requested : {QByteArray(), QByteArray("wayland")}) {
        const auto choice = choose({requested, true, false});
        EXPECT_FALSE(choice.runs) << requested.constData();
        EXPECT_TRUE(choice.message.contains("XWayland")) << requested.constData();
    }
    // Off screen needs no display at all.
    EXPECT_TRUE(choose({"offscreen", true, false}).runs);
}
