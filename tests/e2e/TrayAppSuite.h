#pragma once

#include "e2e/Desktop.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

namespace pivana::test {

/// A suite of tests of the tray app: one desktop session and one running app for all of them.
class TrayAppSuite : public testing::Test {
protected:
    static inline Desktop* desktop = nullptr;
    static inline QTemporaryDir* scratch = nullptr;
    static inline Pivana* pivana = nullptr;

    static void SetUpTestSuite() { startSuite(); }

    /// A fresh desktop with the app started in it, its environment changed by `changes`.
    static void startSuite(const QStringList& changes = {}) {
        scratch = new QTemporaryDir;
        desktop = new Desktop;
        pivana = new Pivana;
        if (desktop->start(scratch->path())) {
            pivana->start(*desktop, changes);
        }
    }

    static void TearDownTestSuite() {
        pivana->stop(*desktop);
        desktop->stop();
        delete pivana;
        delete desktop;
        delete scratch;
    }

    void SetUp() override {
        if (desktop->environment.value("DBUS_SESSION_BUS_ADDRESS").isEmpty()) {
            GTEST_SKIP() << "no desktop session could be started";
        }
    }

    PanelUser user() const { return PanelUser(*desktop); }

    /// A folder of the suite's scratch space, made if needed.
    QString folder(const QString& name) const {
        const QString path = scratch->filePath(name);
        QDir().mkpath(path);
        return path;
    }

    // Opens the settings from the idle panel; the screen is taller than the panel was.
    QRect openSettings() const {
        int idleHeight = 0;
        const auto taller = [&] { return desktop->panel().height() > idleHeight + 150; };
        bool opened = false;
        for (int attempt = 1; attempt <= 4 && !opened; ++attempt) {
            const QRect panel = user().openPanelFromTray();
            if (attempt == 1) {
                idleHeight = panel.height();
            } else if (taller()) {
                // An earlier click was taken after all.
                opened = true;
                break;
            }
            desktop->click(user().settingsRow());
            opened = waitUntil(taller, 15000);
            if (!opened) {
                desktop->screenshot(QString("settings-not-opened-%1").arg(attempt));
                // On a busy machine the click can land before the rows take input, or on the row
                // above while the panel still draws: a file picker it opened is closed, and the
                // panel is opened afresh.
                if (desktop->windowsNamed("^Choose") > 0) {
                    desktop->key({"Escape"});
                    waitUntil([] { return desktop->windowsNamed("^Choose") == 0; });
                }
            }
        }
        const QRect shown = desktop->panel();
        EXPECT_TRUE(opened) << "the settings screen is taller than " << idleHeight
                            << " px; the panel shows at " << shown.x() << "," << shown.y() << " "
                            << shown.width() << "x" << shown.height()
                            << ", file pickers open: " << desktop->windowsNamed("^Choose");
        return user().shownPanel();
    }

    void closePanel(const char* where = "") const {
        SCOPED_TRACE(where);
        EXPECT_TRUE(user().closePanel()) << "a click elsewhere closes the panel";
    }
};

}  // namespace pivana::test
