// The tray app as a user meets it: a real X server, tray host, window manager and notification
// daemon on a private session bus; real clicks and keys; outputs checked on disk and
// notifications read back from the daemon. Screenshots of each state land in the build tree's
// screenshots folder.
#include "e2e/TrayAppSuite.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

using namespace pivana::test;

namespace {

class TrayApp : public TrayAppSuite {
protected:
    void openWith(const QStringList& files) const { ASSERT_TRUE(user().openWith(files)); }

    QString storedSetting(const QString& key) const {
        return QSettings(scratch->filePath("config/pivana/pivana.conf"), QSettings::IniFormat)
            .value(key)
            .toString();
    }
};

}  // namespace

TEST_F(TrayApp, TrayIconTogglesThePanel) {
    const QRect panel = user().openPanelFromTray();
    ASSERT_TRUE(panel.isValid());
    EXPECT_EQ(panel.width(), 300);
    EXPECT_GE(panel.top(), 28) << "below the tray";
    EXPECT_LE(panel.right(), 1279) << "kept on screen";
    desktop->screenshot("idle");
    desktop->click(trayIcon);
    EXPECT_TRUE(waitUntil([this] { return !user().panelShown(); }));
}

TEST_F(TrayApp, FilesFromTheCommandLineConvertWithOneClick) {
    const QString dir = folder("photos");
    saveImage(gradient(320, 200), dir + "/a.png");
    saveImage(gradient(200, 320, true), dir + "/b.png");
    openWith({dir + "/a.png", dir + "/b.png"});
    ASSERT_TRUE(user().find("push button", "JPG"));
    desktop->screenshot("pick-format");
    ASSERT_TRUE(user().click("push button", "JPG"));
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
    writeLongClip(dir + "/holiday.avi");
    openWith({dir + "/holiday.avi"});
    ASSERT_TRUE(user().click("push button", "MP4"));
    // While the staged output grows, the panel shows the spinner and how far it is.
    ASSERT_TRUE(waitUntil(
        [&] { return !QDir(dir).entryList({".pivana-*"}, QDir::Hidden | QDir::Dirs).isEmpty(); }));
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
    ASSERT_TRUE(user().click("push button", "JPG"));
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
    QRect panel = openSettings();
    desktop->screenshot("settings");
    const int settingsHeight = panel.height();

    // By keyboard: back, the output folder's menu, Replace original, the quality, the bit rate,
    // Launch at login, Done. The menu's second entry chooses a folder.
    ASSERT_TRUE(user().awaitKeyboard("frame", "Pivana"));
    desktop->key({"Tab", "Tab", "Return", "Down", "Down", "Return"});
    ASSERT_TRUE(waitUntil([] { return desktop->windowsNamed("Choose an output folder") > 0; }));
    desktop->screenshot("settings-choose-folder");
    ASSERT_TRUE(user().awaitKeyboard("dialog", "Choose an output folder"));
    desktop->type(output);
    desktop->key({"Return"});
    EXPECT_TRUE(waitUntil([this] { return storedSetting("outputFolderMode") == "Custom folder"; }));
    // The keyboard still reaches the panel: Escape leaves the settings.
    ASSERT_TRUE(waitUntil([] { return desktop->windowsNamed("Choose an output folder") == 0; }));
    ASSERT_TRUE(user().awaitKeyboard("frame", "Pivana"));
    desktop->key({"Escape"});
    EXPECT_TRUE(waitUntil([&] { return desktop->panel().height() < settingsHeight - 150; }))
        << "Escape closes the settings after the folder was chosen";
    closePanel("after choosing the folder");

    // Replace original asks first; Enter takes the default answer, "Enable".
    panel = openSettings();
    ASSERT_TRUE(user().awaitKeyboard("frame", "Pivana"));
    desktop->key({"Tab", "Tab", "Tab", "space"});
    ASSERT_TRUE(waitUntil([] { return desktop->windowsNamed("^Pivana$") == 2; }));
    desktop->screenshot("settings-confirm");
    ASSERT_TRUE(user().awaitKeyboard("alert", "Pivana"));
    desktop->key({"Return"});
    EXPECT_TRUE(waitUntil([this] { return storedSetting("replaceOriginal") == "true"; }));
    ASSERT_TRUE(user().awaitKeyboard("frame", "Pivana"));

    desktop->key({"Tab", "Left", "Left", "Left", "Left", "Left"});  // quality, a point a press
    EXPECT_TRUE(waitUntil([this] { return storedSetting("jpgQuality").toDouble() == 80; }))
        << storedSetting("jpgQuality").toStdString();
    desktop->key({"Tab", "Down", "Down"});  // bit rate: 192, two down is 320
    EXPECT_TRUE(waitUntil([this] { return storedSetting("audioBitrate") == "320"; }));
    desktop->screenshot("settings-changed");
    desktop->key({"Tab", "Tab", "space"});  // Done
    EXPECT_TRUE(waitUntil([&] { return desktop->panel().height() < settingsHeight - 150; }));
    closePanel("after choosing the settings");

    // Every value is still there after a restart.
    pivana->stop(*desktop);
    pivana->start(*desktop);
    openSettings();
    desktop->screenshot("settings-after-restart");
    EXPECT_EQ(storedSetting("replaceOriginal"), "true");
    EXPECT_EQ(storedSetting("audioBitrate"), "320");
    EXPECT_EQ(storedSetting("outputFolderMode"), "Custom folder");
    ASSERT_TRUE(user().awaitKeyboard("frame", "Pivana"));
    desktop->key({"Escape"});
    closePanel("after the restart");

    // A conversion lands in the chosen folder and the source is gone.
    const QString dir = folder("originals");
    saveImage(gradient(120, 90), dir + "/photo.png");
    openWith({dir + "/photo.png"});
    ASSERT_TRUE(user().click("push button", "JPG"));
    EXPECT_TRUE(waitUntil([&] { return exists(output + "/photo.jpg"); }));
    EXPECT_TRUE(waitUntil([&] { return !exists(dir + "/photo.png"); }))
        << "Replace original deletes the source";
    EXPECT_EQ(probe(output + "/photo.jpg").width, 120);
    closePanel();
}

TEST_F(TrayApp, CancelAndQuitDuringAConversionLeaveTheSourceAndNothingElse) {
    // With the default settings: outputs and their staging beside the source.
    pivana->stop(*desktop);
    QFile::remove(scratch->filePath("config/pivana/pivana.conf"));
    pivana->start(*desktop);
    const QString dir = folder("stopped");
    writeLongClip(dir + "/holiday.avi");
    const QByteArray source = readAll(dir + "/holiday.avi");
    const auto staging = [&] {
        return QDir(dir).entryList({".pivana-*"}, QDir::Hidden | QDir::Dirs);
    };
    const auto startConverting = [&] {
        openWith({dir + "/holiday.avi"});
        ASSERT_TRUE(user().click("push button", "MP4"));
        ASSERT_TRUE(waitUntil([&] { return !staging().isEmpty(); }));
    };

    // Cancel: the footer's one row while a batch converts. A cancel is no failure.
    startConverting();
    desktop->screenshot("converting-cancel");
    const qsizetype earlier = desktop->notifications().size();
    ASSERT_TRUE(user().click("push button", "Cancel"));
    EXPECT_TRUE(waitUntil([] {
        return desktop->notifications().value(0) == "Pivana | Cancelled. No files were converted.";
    })) << desktop->notifications().join('\n');
    EXPECT_TRUE(user().find("push button", "Cancelled. No files were converted."))
        << "the panel says it too, not as a failure";
    const QStringList shown = desktop->notifications();
    EXPECT_EQ(shown.size(), earlier + 1)
        << "one notification, and no failure: " << shown.join('\n').toStdString();
    EXPECT_EQ(entries(dir), QStringList{"holiday.avi"});
    closePanel();

    // Quit, here as the session asks it (SIGTERM), half way through the next attempt.
    startConverting();
    EXPECT_TRUE(pivana->quit(*desktop)) << "it quit, it was not killed";
    EXPECT_EQ(entries(dir), QStringList{"holiday.avi"});
    EXPECT_EQ(readAll(dir + "/holiday.avi"), source);
    pivana->start(*desktop);  // for whatever runs after
}

namespace {

// The app as it idles in the tray: its panel let go a second after it closes, so that each
// opening here builds it again.
class TrayAppReleasingItsPanel : public TrayAppSuite {
protected:
    static void SetUpTestSuite() { startSuite({"PIVANA_PANEL_RELEASE_SECONDS=1"}); }

    static bool panelBuilt() { return pivana->threadNames().contains("QQmlThread"); }

    static void closeAndAwaitRelease() {
        EXPECT_TRUE(PanelUser(*desktop).closePanel());
        EXPECT_TRUE(waitUntil([] { return !panelBuilt(); })) << "let go once closed";
    }
};

}  // namespace

TEST_F(TrayAppReleasingItsPanel, IdlesWithoutAPanelAndBuildsTheSamePanelAgain) {
    EXPECT_FALSE(panelBuilt()) << "no QML engine before the panel first opens";

    const QString dir = folder("kept");
    saveImage(gradient(320, 200), dir + "/kept.png");
    const auto showBatch = [&] {
        EXPECT_TRUE(user().openWith({dir + "/kept.png"}));
        EXPECT_TRUE(user().find("push button", "JPG"));
        // Compared as drawn: the chips' fade-in and the icon's turn are over.
        EXPECT_TRUE(user().settled());
        return desktop->panel();
    };
    const QRect first = showBatch();
    ASSERT_TRUE(panelBuilt());
    const vips::VImage firstPixels = panelPixels(*desktop, first);

    closeAndAwaitRelease();
    const QRect again = showBatch();
    desktop->screenshot("rebuilt-pick-format");
    ASSERT_EQ(again.size(), first.size());
    EXPECT_EQ((panelPixels(*desktop, again) - firstPixels).abs().max(), 0)
        << "drawn the same: colours, symbols, chips";

    ASSERT_TRUE(user().click("push button", "JPG"));
    EXPECT_TRUE(waitUntil([&] { return exists(dir + "/kept.jpg"); }));
    closeAndAwaitRelease();
}

TEST_F(TrayAppReleasingItsPanel, ABatchConvertingWhileThePanelIsGoneCanBeCancelledWhenItOpens) {
    const QString dir = folder("converting");
    writeLongClip(dir + "/long.avi");
    ASSERT_TRUE(user().openWith({dir + "/long.avi"}));
    ASSERT_TRUE(user().click("push button", "MP4"));
    ASSERT_TRUE(waitUntil(
        [&] { return !QDir(dir).entryList({".pivana-*"}, QDir::Hidden | QDir::Dirs).isEmpty(); }));

    closeAndAwaitRelease();
    // Opened again, the panel shows the batch converting, with Cancel.
    user().openPanelFromTray();
    desktop->screenshot("rebuilt-converting");
    ASSERT_TRUE(user().click("push button", "Cancel"));
    EXPECT_TRUE(waitUntil([] {
        return desktop->notifications().value(0) == "Pivana | Cancelled. No files were converted.";
    })) << desktop->notifications().join('\n');
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"long.avi"});
    closePanel();
}

TEST_F(TrayAppReleasingItsPanel, SettingsLeftOpenShowWhenThePanelIsBuiltAgain) {
    const QRect idle = user().openPanelFromTray();
    closeAndAwaitRelease();
    const int settingsHeight = openSettings().height();
    ASSERT_GT(settingsHeight, idle.height() + 150);

    closeAndAwaitRelease();
    const QRect again = user().openPanelFromTray();
    desktop->screenshot("rebuilt-settings");
    EXPECT_EQ(again.height(), settingsHeight) << "the settings, as they were left";
    ASSERT_TRUE(user().awaitKeyboard("frame", "Pivana"));
    desktop->key({"Escape"});
    EXPECT_TRUE(waitUntil([&] { return desktop->panel().height() < settingsHeight - 150; }))
        << "Escape reaches the rebuilt panel and closes the settings";
    closePanel();
}
