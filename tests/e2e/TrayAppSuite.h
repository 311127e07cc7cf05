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

    // Opens the settings from the idle panel with a click on its Settings row; the settings
    // show once their Done button does.
    QRect openSettings() const {
        user().openPanelFromTray();
        EXPECT_TRUE(user().click("push button", "Settings"));
        EXPECT_TRUE(user().find("push button", "Done")) << "the settings screen shows";
        return user().shownPanel();
    }

    void closePanel(const char* where = "") const {
        SCOPED_TRACE(where);
        EXPECT_TRUE(user().closePanel()) << "a click elsewhere closes the panel";
    }
};

}  // namespace pivana::test
