#pragma once

// The tray app as a user meets it: a real X server, tray host, window manager and notification
// daemon on a private session bus, real clicks, and what the screen shows read back from
// screenshots.
#include <gtest/gtest.h>

#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <vector>

namespace pivana::test {

/// Where the screenshots of each state land: build-test/screenshots.
extern const QString screenshots;
/// trayer sits at the top right, 28 points high, with our icon as its only one.
inline constexpr QPoint trayIcon(1280 - 14, 14);

/// Polls until the condition holds or the time is up; no fixed sleeps.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 20000);

/// An X server with openbox, trayer and dunst on a private session bus.
class Desktop {
public:
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString home;

    bool start(const QString& scratch);
    bool launch(const QString& program, const QStringList& arguments);

    struct Result {
        int status;
        QString out;
        QString err;
    };
    Result run(const QString& program, const QStringList& arguments, int timeoutMs = 20000) const;
    void stop();

    /// The frame of the first window on screen whose title matches `pattern`; none when no
    /// such window is on screen.
    QRect window(const QString& pattern) const;
    /// The panel's window while it is on screen.
    QRect panel() const { return window("^Pivana$"); }
    void click(QPoint point) const;
    QString screenshot(const QString& name) const;
    /// Summaries and bodies the notification daemon has shown, newest first.
    QStringList notifications() const;

private:
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

/// Whether the app has drawn the panel yet.
bool panelDrawn(const Desktop& desktop, const QRect& panel);
/// Lines of text on the panel, found in a screenshot: for each, the point where its ink starts
/// (left) in the middle of the line.
std::vector<QPoint> inkLines(const Desktop& desktop, const QRect& panel);
/// The first format chip: below the state icon and the batch's name, the first line of text.
QPoint firstChip(const Desktop& desktop, const QRect& panel);

/// One desktop session and one running `pivana` for a whole test suite.
class TrayApp : public testing::Test {
protected:
    static inline Desktop* desktop = nullptr;
    static inline QTemporaryDir* scratch = nullptr;
    static inline std::unique_ptr<QProcess> pivana;

    static void SetUpTestSuite();
    static void TearDownTestSuite();
    /// Starts `pivana` and waits until `ready`; by default, until its windows exist.
    static void startPivana(const std::function<bool()>& ready = {});
    static void stopPivana();

    void SetUp() override;

    QString folder(const QString& name) const;
    bool panelShown() const { return desktop->panel().isValid(); }
    /// `pivana FILES...`, as "Open With" runs it, and the panel it opens.
    void openWith(const QStringList& files);
    /// The chips fade in just after a batch arrives: waits until they can be seen.
    QPoint waitForChip() const;
    /// Converts an 8-second clip `dir`/holiday.avi to MP4 in the app, long enough to watch it;
    /// returns once its output is being written.
    bool startLongConversion(const QString& dir);
    /// Opens the panel with a click on the tray icon, once the tray shows the icon.
    QRect openPanelFromTray() const;
    /// The panel's frame once xdotool sees it and the app has drawn it.
    QRect shownPanel() const;
    /// Where things are on the panel, from its top-left corner.
    static QPoint at(const QRect& panel, int x, int y) { return panel.topLeft() + QPoint(x, y); }
    /// The footer's Settings row: in the idle panel, the last line but one.
    QPoint settingsRow(const QRect& panel) const;
    QString storedSetting(const QString& key) const;
    /// Closes the panel with a click elsewhere, and expects it to close.
    void closePanel(const char* where = "");
};

}  // namespace pivana::test
