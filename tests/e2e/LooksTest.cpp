// The panel in each look a user may meet it in: a light and a dark desktop (Qt's KDE platform
// theme reads the palette from kdeglobals), at normal and at doubled scale on a 1280 × 800
// screen. Each look starts the app once and walks it through its states, leaving a screenshot of
// each in screenshots/looks/, and checks what only the real panel can show: nothing runs off the
// screen, nothing moves when a conversion starts, the keyboard reaches everything.
#include "e2e/Desktop.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

using namespace pivana::test;

namespace {

struct Look {
    const char* name;
    bool dark;
    int scale;
};

void PrintTo(const Look& look, std::ostream* stream) {
    *stream << look.name;
}

// Breeze's colours as a KDE desktop writes them; the dark look also names an icon theme with
// one-colour symbols, so that the panel shows the theme's symbols there and ours in the light.
QByteArray kdeglobals(bool dark) {
    const char* light =
        "[Colors:Window]\nBackgroundNormal=239,240,241\nForegroundNormal=35,38,41\n"
        "[Colors:View]\nBackgroundNormal=255,255,255\nForegroundNormal=35,38,41\n"
        "[Colors:Button]\nBackgroundNormal=252,252,252\nForegroundNormal=35,38,41\n"
        "[Colors:Selection]\nBackgroundNormal=61,174,233\nForegroundNormal=255,255,255\n"
        "[Colors:Tooltip]\nBackgroundNormal=247,247,247\nForegroundNormal=35,38,41\n";
    const char* night =
        "[Colors:Window]\nBackgroundNormal=32,35,38\nForegroundNormal=252,252,252\n"
        "[Colors:View]\nBackgroundNormal=20,22,24\nForegroundNormal=252,252,252\n"
        "[Colors:Button]\nBackgroundNormal=41,44,48\nForegroundNormal=252,252,252\n"
        "[Colors:Selection]\nBackgroundNormal=61,174,233\nForegroundNormal=252,252,252\n"
        "[Colors:Tooltip]\nBackgroundNormal=41,44,48\nForegroundNormal=252,252,252\n"
        "[Icons]\nTheme=Adwaita\n";
    return dark ? night : light;
}

class Looks : public testing::TestWithParam<Look> {
protected:
    static inline Desktop* desktop = nullptr;
    static inline QTemporaryDir* scratch = nullptr;

    static void SetUpTestSuite() {
        scratch = new QTemporaryDir;
        desktop = new Desktop;
        if (desktop->start(scratch->path())) {
            writeLongClip(scratch->filePath("holiday.avi"));
        }
    }

    static void TearDownTestSuite() {
        desktop->stop();
        delete desktop;
        delete scratch;
    }

    void SetUp() override {
        if (desktop->environment.value("DBUS_SESSION_BUS_ADDRESS").isEmpty()) {
            GTEST_SKIP() << "no desktop session could be started";
        }
        const Look look = GetParam();
        m_home = scratch->filePath(look.name);
        QDir().mkpath(m_home + "/.config");
        QFile config(m_home + "/.config/kdeglobals");
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(kdeglobals(look.dark));
        config.close();
        ASSERT_TRUE(QFile::copy(scratch->filePath("holiday.avi"), m_home + "/holiday.avi"));
        saveImage(gradient(320, 200), m_home + "/a.png");
        saveImage(gradient(200, 320, true), m_home + "/b.png");
        for (const char* name : {"song.mp3", "notes.txt", "broken.png"}) {
            QFile file(m_home + "/" + name);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("\x89PNG\r\n\x1a\nnot what it claims");
        }
        // A tray of the desktop's own kind: light or dark.
        ASSERT_TRUE(desktop->startTray(look.dark ? "0x2a2e32" : "0xeff0f1"));
        m_app.start(*desktop,
                    {"HOME=" + m_home, "XDG_CONFIG_HOME=" + m_home + "/.config",
                     "XDG_CURRENT_DESKTOP=KDE", "KDE_SESSION_VERSION=5", "KDE_FULL_SESSION=true",
                     QString("QT_SCALE_FACTOR=%1").arg(look.scale)});
    }

    void TearDown() override { m_app.stop(*desktop); }

    void shot(const char* state) const {
        desktop->screenshot(QString("looks/%1-%2").arg(GetParam().name, state));
    }

    // Waits until the panel's height passes `limit` upwards (or downwards) and returns its frame.
    QRect panelOnceTaller(int limit) const {
        EXPECT_TRUE(waitUntil([&] { return desktop->panel().height() > limit; }));
        return PanelUser(*desktop).shownPanel();
    }
    bool panelShrinksBelow(int limit) const {
        return waitUntil([&] { return desktop->panel().height() < limit; });
    }

    QString m_home;
    Pivana m_app;
};

}  // namespace

TEST_P(Looks, EveryStateOfThePanel) {
    const PanelUser user(*desktop);
    const QRect idle = user.openPanelFromTray();
    ASSERT_TRUE(idle.isValid());
    shot("idle");

    // Tab reaches the drop zone, then the Settings row, each with a ring; Return opens it.
    ASSERT_TRUE(user.awaitKeyboard("frame", "Pivana"));
    desktop->key({"Tab", "Tab"});
    shot("focus");
    desktop->key({"Return"});
    const QRect settings = panelOnceTaller(idle.height() + 100);
    shot("settings");
    EXPECT_GE(settings.top(), 28) << "below the tray";
    EXPECT_LE(settings.bottom(), 799) << "the settings fit on the screen, scrolling if they must";

    // Space on Replace original asks first; Escape answers Cancel, a second Escape leaves.
    desktop->key({"Tab", "Tab", "Tab", "space"});
    ASSERT_TRUE(waitUntil([] { return desktop->windowsNamed("^Pivana$") == 2; }));
    shot("confirmation");
    ASSERT_TRUE(user.awaitKeyboard("alert", "Pivana"));
    desktop->key({"Escape"});
    ASSERT_TRUE(waitUntil([] { return desktop->windowsNamed("^Pivana$") == 1; }));
    ASSERT_TRUE(user.awaitKeyboard("frame", "Pivana"));
    desktop->key({"Escape"});
    EXPECT_TRUE(panelShrinksBelow(idle.height() + 50)) << "Escape leaves the settings";

    // The drop zone opens the browse dialog in the home folder; a picture typed in is selected
    // there, and the files of other kinds grey out.
    desktop->key({"Tab", "Return"});
    const QString browse = "Choose files of the same type to convert";
    ASSERT_TRUE(user.awaitKeyboard("dialog", browse));
    desktop->type("a.png");
    desktop->key({"Escape"});  // the list of names completing the typed one
    ASSERT_TRUE(waitUntil([&] { return desktop->windowsNamed(browse) > 0; }));
    shot("browse");
    desktop->key({"Escape"});
    ASSERT_TRUE(waitUntil([&] { return desktop->windowsNamed(browse) == 0; }));
    ASSERT_TRUE(user.closePanel());

    ASSERT_TRUE(user.openWith({m_home + "/a.png", m_home + "/b.png"}));
    ASSERT_TRUE(user.find("push button", "JPG"));
    shot("chips");
    ASSERT_TRUE(user.click("push button", "JPG"));
    EXPECT_TRUE(
        waitUntil([this] { return exists(m_home + "/a.jpg") && exists(m_home + "/b.jpg"); }));
    EXPECT_TRUE(
        waitUntil([] { return desktop->notifications().value(0).startsWith("Converted"); }));
    EXPECT_TRUE(user.find("push button", "Convert More"));
    shot("done");
    ASSERT_TRUE(user.closePanel());

    ASSERT_TRUE(user.openWith({m_home + "/a.png", m_home + "/broken.png"}));
    ASSERT_TRUE(user.click("push button", "JPG"));
    EXPECT_TRUE(waitUntil(
        [] { return desktop->notifications().value(0).startsWith("Partially converted"); }));
    EXPECT_TRUE(user.find("label", "couldn't convert broken.png"));
    shot("partial-failure");
    ASSERT_TRUE(user.closePanel());

    // Converting shows the file and its progress in the room the chips' state already has.
    ASSERT_TRUE(user.openWith({m_home + "/holiday.avi"}));
    ASSERT_TRUE(user.find("push button", "MP4"));
    const QRect before = desktop->panel();
    ASSERT_TRUE(user.click("push button", "MP4"));
    ASSERT_TRUE(waitUntil([this] {
        return !QDir(m_home).entryList({".pivana-*"}, QDir::Hidden | QDir::Dirs).isEmpty();
    }));
    shot("converting");
    // The Cancel row joins the footer; what was there stays where it was.
    EXPECT_EQ(desktop->panel().top(), before.top()) << "nothing moves when a conversion starts";
    EXPECT_GE(desktop->panel().height(), before.height());
}

INSTANTIATE_TEST_SUITE_P(LightAndDarkAtOneAndTwoTimes, Looks,
                         testing::Values(Look{"light", false, 1}, Look{"dark", true, 1},
                                         Look{"light-2x", false, 2}, Look{"dark-2x", true, 2}),
                         [](const testing::TestParamInfo<Look>& look) {
                             QString name = look.param.name;
                             return name.replace('-', '_').toStdString();
                         });
