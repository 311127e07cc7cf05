// The panel as a citizen of the desktop: its dialogs belong to it, however they are answered;
// it stays out of taskbars and pagers; a screen reader finds every control by its name and can
// work the panel through it; hand-offs of what is not a file are refused out loud. Controls are
// found on the accessibility bus, as a screen reader finds them, and clicked with the mouse
// where the mouse is the point.
#include "e2e/TrayAppSuite.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QUrl>

using namespace pivana::test;

namespace {

const QString browseTitle = "Choose files of the same type to convert";

class Panel : public TrayAppSuite {
protected:
    // The app's home holds two pictures, where the browse dialog first opens. The desktop's
    // default handler, which opens a folder where no file manager service answers, is one that
    // notes what it was asked to open.
    static void SetUpTestSuite() {
        startSuite();
        const QString home = scratch->filePath("home");
        QDir().mkpath(home);
        saveImage(gradient(64, 48), home + "/a.png");
        saveImage(gradient(48, 64), home + "/b.png");
        const QString bin = scratch->filePath("bin");
        QDir().mkpath(bin);
        QFile opener(bin + "/xdg-open");
        opener.open(QIODevice::WriteOnly);
        opener.write(
            ("#!/bin/sh\necho \"$1\" >> '" + scratch->filePath("opened") + "'\n").toUtf8());
        opener.close();
        opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        pivana->stop(*desktop);
        pivana->start(*desktop,
                      {"HOME=" + home, "PATH=" + bin + ":" + desktop->environment.value("PATH")});
    }

    static QStringList linesOf(const QString& path) {
        return QString::fromUtf8(readAll(path)).split('\n', Qt::SkipEmptyParts);
    }

    QString storedSetting(const QString& key) const {
        return QSettings(scratch->filePath("config/pivana/pivana.conf"), QSettings::IniFormat)
            .value(key)
            .toString();
    }

    // The X window id of a window on screen, as xprop prints it.
    static QString hexId(const QString& pattern) {
        return "0x" + QString::number(desktop->windowId(pattern).toULongLong(), 16);
    }

    // The control the keyboard is on.
    static Control focused() {
        for (const Control& control : desktop->controls()) {
            if (control.is("focused")) {
                return control;
            }
        }
        return {};
    }

    // The controls that show and take input but have no name for a screen reader to say.
    static QStringList unnamedControls() {
        static const QStringList inputs = {"push button",  "toggle button",  "check box",
                                           "slider",       "combo box",      "menu item",
                                           "radio button", "check menu item"};
        QStringList unnamed;
        for (const Control& control : desktop->controls()) {
            if (inputs.contains(control.role) && control.name.trimmed().isEmpty()) {
                unnamed << control.role + " at " + QString::number(control.extents.x()) + "," +
                               QString::number(control.extents.y());
            }
        }
        return unnamed;
    }
};

}  // namespace

TEST_F(Panel, StaysOutOfTaskbarsAndPagersEachTimeItOpens) {
    for (int opening = 1; opening <= 2; ++opening) {
        SCOPED_TRACE(opening);
        ASSERT_TRUE(user().openPanelFromTray().isValid());
        const QString state = desktop->windowProperty(hexId("^Pivana$"), "_NET_WM_STATE");
        EXPECT_TRUE(state.contains("_NET_WM_STATE_SKIP_TASKBAR")) << state.toStdString();
        EXPECT_TRUE(state.contains("_NET_WM_STATE_SKIP_PAGER")) << state.toStdString();
        EXPECT_TRUE(state.contains("_NET_WM_STATE_ABOVE")) << state.toStdString();
        closePanel();
    }
}

TEST_F(Panel, FilesChosenInTheBrowseDialogWithTheMouseBecomeTheBatch) {
    const QRect shown = user().openPanelFromTray();
    const QString panel = hexId("^Pivana$");
    ASSERT_TRUE(user().click("push button", "Click to browse files"));
    ASSERT_TRUE(waitUntil([] { return desktop->windowsNamed(browseTitle) > 0; }));
    EXPECT_TRUE(desktop->window(browseTitle).intersects(shown)) << "opened over the panel";
    EXPECT_TRUE(desktop->windowProperty(hexId(browseTitle), "WM_TRANSIENT_FOR").endsWith(panel))
        << "the dialog belongs to the panel";
    ASSERT_TRUE(user().find("push button", "Choose"));
    // The names typed in, the dialog answered with a click on its button.
    ASSERT_TRUE(user().awaitKeyboard("dialog", browseTitle));
    desktop->type("\"a.png\" \"b.png\"");
    ASSERT_TRUE(user().click("push button", "Choose"));
    ASSERT_TRUE(waitUntil([] { return desktop->windowsNamed(browseTitle) == 0; }));

    EXPECT_TRUE(user().find("push button", "JPG")) << "the panel offers the batch's chips";
    EXPECT_TRUE(user().panelShown()) << "the panel stayed open";
    EXPECT_TRUE(user().find("label", "2 files"));
    desktop->screenshot("browsed-by-mouse");
    closePanel();
}

TEST_F(Panel, TheConfirmationReturnsToTheSettingsWhicheverButtonAnswersIt) {
    openSettings();
    const QString panel = desktop->windowId("^Pivana$");
    for (const QString answer : {"Cancel", "Enable"}) {
        SCOPED_TRACE(answer.toStdString());
        ASSERT_TRUE(user().click("", "Replace original"));
        ASSERT_TRUE(user().find("push button", answer)) << "the confirmation asks";
        ASSERT_EQ(desktop->windowsNamed("^Pivana$"), 2);
        QStringList windows =
            desktop->run("/usr/bin/xdotool", {"search", "--onlyvisible", "--name", "^Pivana$"})
                .out.split('\n', Qt::SkipEmptyParts);
        windows.removeAll(panel);
        const QString confirmation = windows.value(0);
        EXPECT_TRUE(desktop->windowProperty(confirmation, "WM_TRANSIENT_FOR")
                        .endsWith("0x" + QString::number(panel.toULongLong(), 16)));
        const QString actions = desktop->windowProperty(confirmation, "_NET_WM_ALLOWED_ACTIONS");
        EXPECT_FALSE(actions.contains("MAXIMIZE")) << actions.toStdString();
        desktop->screenshot("confirmation-" + answer.toLower());
        ASSERT_TRUE(user().click("push button", answer));
        ASSERT_TRUE(waitUntil([] { return desktop->windowsNamed("^Pivana$") == 1; }));
        EXPECT_TRUE(user().find("push button", "Done")) << "back on the settings";
        EXPECT_TRUE(user().panelShown());
    }
    EXPECT_TRUE(waitUntil([this] { return storedSetting("replaceOriginal") == "true"; }));
    // Switching it off asks nothing.
    ASSERT_TRUE(user().click("", "Replace original"));
    EXPECT_TRUE(waitUntil([this] { return storedSetting("replaceOriginal") == "false"; }));
    ASSERT_TRUE(user().press("Done"));
    closePanel();
}

TEST_F(Panel, AScreenReaderNamesEveryControlAndCanConvert) {
    user().openPanelFromTray();
    const std::optional<Control> zone = user().find("push button", "Click to browse files");
    ASSERT_TRUE(zone);
    EXPECT_TRUE(zone->description.contains("dropped")) << zone->description.toStdString();
    EXPECT_TRUE(user().find("push button", "Settings"));
    EXPECT_TRUE(user().find("push button", "Quit"));
    EXPECT_EQ(unnamedControls(), QStringList()) << "idle";

    ASSERT_TRUE(user().press("Settings"));
    ASSERT_TRUE(user().find("push button", "Done"));
    EXPECT_EQ(unnamedControls(), QStringList()) << "settings";
    for (const char* label : {"Output folder", "Replace original", "JPG quality", "Audio bitrate",
                              "Launch at login", "Back"}) {
        EXPECT_TRUE(user().find("", label, 2000)) << label;
    }
    // The output folder's whole button opens its menu, which marks the current choice.
    const std::optional<Control> outputFolder = user().find("", "Output folder");
    ASSERT_TRUE(outputFolder);
    desktop->click(outputFolder->extents.topRight() +
                   QPoint(-3, outputFolder->extents.height() / 2));
    const std::optional<Control> same = user().find("", "Same as source");
    ASSERT_TRUE(same) << "the menu opened";
    EXPECT_TRUE(same->is("checked"));
    const std::optional<Control> choose = user().find("", "Choose folder\u2026");
    ASSERT_TRUE(choose);
    EXPECT_FALSE(choose->is("checked"));
    desktop->key({"Escape"});
    ASSERT_TRUE(user().press("Done"));

    const QString dir = folder("spoken");
    saveImage(gradient(64, 48), dir + "/photo.png");
    ASSERT_TRUE(user().openWith({dir + "/photo.png"}));
    ASSERT_TRUE(user().find("push button", "JPG"));
    EXPECT_EQ(unnamedControls(), QStringList()) << "chips";
    // Tab reaches the first chip, past the drop zone; the arrow keys move among the chips.
    ASSERT_TRUE(user().awaitKeyboard("frame", "Pivana"));
    desktop->key({"Tab", "Tab"});
    EXPECT_TRUE(waitUntil([] { return focused().name == "JPG"; })) << focused().name.toStdString();
    desktop->key({"Right"});
    EXPECT_TRUE(waitUntil([] {
        const Control chip = focused();
        return chip.role == "push button" && chip.name != "JPG" && chip.name == chip.name.toUpper();
    })) << focused().name.toStdString();
    desktop->key({"Left"});
    EXPECT_TRUE(waitUntil([] { return focused().name == "JPG"; })) << focused().name.toStdString();
    // Pressed as a screen reader's user presses it: no pointer, no keys.
    ASSERT_TRUE(user().press("JPG"));
    EXPECT_TRUE(user().find("label", "Converted to JPG")) << "the done state says what it did";
    EXPECT_TRUE(exists(dir + "/photo.jpg"));
    EXPECT_EQ(unnamedControls(), QStringList()) << "done";
    EXPECT_TRUE(user().find("push button", "Convert More"));
    closePanel();
}

TEST_F(Panel, HandOffsOfMissingFilesAndFoldersAreRefused) {
    if (user().panelShown()) {
        closePanel("left open before");
    }
    const QString dir = folder("not-files");
    for (const QStringList& arguments : {QStringList{dir + "/missing.jpg"}, QStringList{dir},
                                         QStringList{"--convert", "png", dir + "/missing.jpg"}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const Desktop::Result handed = desktop->run(PIVANA_BIN_DIR "/pivana", arguments);
        EXPECT_EQ(handed.status, 1);
        EXPECT_EQ(handed.err.count('\n'), 1) << handed.err.toStdString();
        EXPECT_TRUE(handed.err.contains(arguments.last())) << handed.err.toStdString();
    }
    EXPECT_FALSE(user().panelShown()) << "no batch was shown";
}

TEST_F(Panel, AMessageTakesThePlaceOfTheDropZoneWithoutChangingTheHeight) {
    const QString dir = folder("unknown");
    QFile file(dir + "/notes.xyz");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QRect idle = user().openPanelFromTray();
    ASSERT_TRUE(user().openWith({dir + "/notes.xyz"}));
    ASSERT_TRUE(user().find("push button", "No supported conversion for this file."));
    desktop->screenshot("message");
    EXPECT_EQ(desktop->panel().height(), idle.height()) << "the row under the pointer stays";
    closePanel();
}

TEST_F(Panel, TheNotificationShowsTheOutputsInTheirFolder) {
    const QString dir = folder("shown");
    saveImage(gradient(64, 48), dir + "/photo.png");
    const auto convert = [&] {
        QFile::remove(dir + "/photo.jpg");
        desktop->run("/usr/bin/dunstctl", {"close-all"});
        EXPECT_TRUE(user().openWith({dir + "/photo.png"}));
        EXPECT_TRUE(user().press("JPG"));
        EXPECT_TRUE(waitUntil([&] { return exists(dir + "/photo.jpg"); }));
        EXPECT_TRUE(waitUntil([] {
            return desktop->run("/usr/bin/dunstctl", {"count", "displayed"}).out.toInt() > 0;
        }));
        // A click on the notification, as its "Show in folder" does.
        desktop->run("/usr/bin/dunstctl", {"action", "0"});
    };

    // Where a file manager answers, it shows the output selected.
    const QString shown = scratch->filePath("shown-items");
    QProcess fileManager;
    fileManager.setProcessEnvironment(desktop->environment);
    fileManager.start("/usr/bin/python3",
                      {PIVANA_SOURCE_DIR "/tests/e2e/support/file_manager.py", shown});
    ASSERT_TRUE(waitUntil([] {
        return desktop
            ->run("/usr/bin/dbus-send",
                  {"--session", "--print-reply", "--dest=org.freedesktop.DBus", "/",
                   "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.FileManager1"})
            .out.contains("boolean true");
    }));
    convert();
    EXPECT_TRUE(waitUntil([&] {
        return linesOf(shown) == QStringList{QUrl::fromLocalFile(dir + "/photo.jpg").toString()};
    })) << linesOf(shown).join(' ').toStdString();
    fileManager.terminate();
    fileManager.waitForFinished();

    // Without one, the folder opens.
    convert();
    EXPECT_TRUE(waitUntil([&] {
        return linesOf(scratch->filePath("opened")).contains(QUrl::fromLocalFile(dir).toString());
    })) << linesOf(scratch->filePath("opened")).join(' ').toStdString();
    closePanel();
}
