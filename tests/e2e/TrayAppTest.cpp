// The tray app as a user meets it: a real X server, tray host, window manager and notification
// daemon on a private session bus; real clicks; outputs checked on disk and notifications read
// back from the daemon. Screenshots of each state land in the build tree's screenshots folder.
#include "e2e/TrayAppSession.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QThread>

using namespace pivana::test;

TEST_F(TrayApp, TrayIconTogglesThePanel) {
    const QRect panel = openPanelFromTray();
    ASSERT_TRUE(panel.isValid());
    EXPECT_EQ(panel.width(), 300);
    EXPECT_GE(panel.top(), 28) << "below the tray";
    EXPECT_LE(panel.right(), 1279) << "kept on screen";
    desktop->screenshot("idle");
    desktop->click(trayIcon);
    EXPECT_TRUE(waitUntil([this] { return !panelShown(); }));
}

TEST_F(TrayApp, FilesFromTheCommandLineConvertWithOneClick) {
    const QString dir = folder("photos");
    saveImage(gradient(320, 200), dir + "/a.png");
    saveImage(gradient(200, 320, true), dir + "/b.png");
    openWith({dir + "/a.png", dir + "/b.png"});
    const QPoint chip = waitForChip();
    desktop->screenshot("pick-format");
    ASSERT_FALSE(chip.isNull());
    desktop->click(chip);  // JPG, the first target of a PNG
    EXPECT_TRUE(waitUntil([&] { return exists(dir + "/a.jpg") && exists(dir + "/b.jpg"); }));
    EXPECT_TRUE(waitUntil([] {
        return desktop->notifications().value(0) ==
               QString::fromUtf8("Converted | 2 files → a.jpg, b.jpg");
    })) << desktop->notifications().join('\n');
    EXPECT_EQ(probe(dir + "/b.jpg").width, 200);
    desktop->screenshot("done");
    closePanel();
}

TEST_F(TrayApp, LongConversionShowsItsProgress) {
    const QString dir = folder("movies");
    // While the staged output grows, the panel shows the spinner and how far it is.
    ASSERT_TRUE(startLongConversion(dir));
    desktop->screenshot("converting");
    EXPECT_TRUE(waitUntil([&] { return exists(dir + "/holiday.mp4"); }, 120000));
    EXPECT_TRUE(waitUntil(
        [] { return desktop->notifications().value(0).startsWith("Converted | holiday.avi"); }));
    closePanel();
}

TEST_F(TrayApp, FailedBatchSaysConversionFailed) {
    const QString dir = folder("broken");
    const QString broken = dir + "/scan.png";
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x89PNG\r\n\x1a\nthis is not a picture");
    file.close();
    openWith({broken});
    const QPoint chip = waitForChip();
    ASSERT_FALSE(chip.isNull());
    desktop->click(chip);
    EXPECT_TRUE(waitUntil([] {
        return desktop->notifications().value(0).startsWith(
            "Conversion failed | scan.png: pivana-image: ");
    })) << desktop->notifications().join('\n');
    desktop->screenshot("failed");
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"scan.png"});
    closePanel();
}

TEST_F(TrayApp, SettingsAreKeptAcrossRestartsAndUsed) {
    const QString output = folder("Converted");
    QRect panel = openPanelFromTray();
    desktop->click(settingsRow(panel));
    ASSERT_TRUE(waitUntil([&] { return desktop->panel().height() > 400; }))
        << "the settings screen is taller";
    panel = shownPanel();
    desktop->screenshot("settings");

    // Replace original asks first; Enter takes the default answer, "Enable".
    desktop->click(at(panel, 242, 143));
    ASSERT_TRUE(waitUntil([] {
        return desktop->run("/usr/bin/xdotool", {"search", "--onlyvisible", "--name", "^Pivana$"})
                   .out.count('\n') == 2;
    }));
    desktop->screenshot("settings-confirm");
    desktop->run("/usr/bin/xdotool", {"key", "Return"});
    EXPECT_TRUE(waitUntil([this] { return storedSetting("replaceOriginal") == "true"; }));

    desktop->click(at(panel, 25 + 248 * 3 / 10, 253));  // the quality slider, near a third
    EXPECT_TRUE(waitUntil([this] {
        return storedSetting("jpgQuality").toDouble() > 20 &&
               storedSetting("jpgQuality").toDouble() < 50;
    })) << storedSetting("jpgQuality").toStdString();

    desktop->click(at(panel, 227, 333));  // bit rate: 192, two down is 320
    QThread::msleep(300);
    desktop->run("/usr/bin/xdotool", {"key", "Down", "Down", "Return"});
    EXPECT_TRUE(waitUntil([this] { return storedSetting("audioBitrate") == "320"; }));

    desktop->click(at(panel, 227, 99));  // output folder menu: the second item chooses a folder
    QThread::msleep(300);
    desktop->run("/usr/bin/xdotool", {"key", "Down", "Down", "Return"});
    ASSERT_TRUE(waitUntil([] {
        return desktop
                   ->run("/usr/bin/xdotool",
                         {"search", "--onlyvisible", "--name", "Choose an output folder"})
                   .status == 0;
    }));
    desktop->run("/usr/bin/xdotool", {"type", "--delay", "5", output});
    desktop->run("/usr/bin/xdotool", {"key", "Return"});
    EXPECT_TRUE(waitUntil([this] { return storedSetting("outputFolderMode") == "Custom folder"; }));
    desktop->screenshot("settings-changed");
    desktop->click(at(panel, 149, 437));  // Done
    closePanel("after choosing the settings");

    // Every value is still there after a restart.
    stopPivana();
    startPivana();
    panel = openPanelFromTray();
    desktop->click(settingsRow(panel));
    ASSERT_TRUE(waitUntil([&] { return desktop->panel().height() > 400; }));
    desktop->screenshot("settings-after-restart");
    EXPECT_EQ(storedSetting("replaceOriginal"), "true");
    EXPECT_EQ(storedSetting("audioBitrate"), "320");
    EXPECT_EQ(storedSetting("outputFolderMode"), "Custom folder");
    desktop->click(at(shownPanel(), 149, 437));
    closePanel("after the restart");

    // A conversion lands in the chosen folder and the source is gone.
    const QString dir = folder("originals");
    saveImage(gradient(120, 90), dir + "/photo.png");
    openWith({dir + "/photo.png"});
    const QPoint chip = waitForChip();
    ASSERT_FALSE(chip.isNull());
    desktop->click(chip);
    EXPECT_TRUE(waitUntil([&] { return exists(output + "/photo.jpg"); }));
    EXPECT_TRUE(waitUntil([&] { return !exists(dir + "/photo.png"); }))
        << "Replace original deletes the source";
    EXPECT_EQ(probe(output + "/photo.jpg").width, 120);
    closePanel();
}
