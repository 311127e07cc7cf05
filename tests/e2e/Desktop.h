#pragma once

#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>
#include <vips/vips8>

namespace pivana::test {

/// trayer sits at the top right, 28 points square, with our icon as its only one.
inline constexpr QPoint trayIcon(1280 - 14, 14);

/// An 8-second 1080p clip that has to be re-encoded: long enough to watch it convert.
void writeLongClip(const QString& path);

/// Polls until the condition holds or the time is up; no fixed sleeps.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 20000);

/// One object of the app's windows as the accessibility bus shows it to a screen reader.
struct Control {
    QString path;  ///< where it is in the app's tree, for acting on it
    QString role;  ///< AT-SPI's role name: "push button", "check box", "label", "dialog"...
    QString name;
    QString description;
    QStringList states;   ///< "showing", "focused", "checked"...
    QStringList actions;  ///< "Press", "Toggle", "SetFocus"...
    QRect extents;        ///< on the screen

    bool is(const QString& state) const { return states.contains(state); }
    QPoint centre() const { return extents.center(); }
};

/// A desktop session of our own: an X server, a window manager, a tray host, a notification
/// daemon and the accessibility bus, on a private session bus.
class Desktop {
public:
    /// The environment the session's programs run in.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

    /// Starts it all, its files under `home`; false when something would not start.
    bool start(const QString& home);
    void stop();

    /// (Re)starts the tray host at the top right with the given background.
    bool startTray(const QString& background);

    bool launch(const QString& program, const QStringList& arguments);
    struct Result {
        int status;
        QString out;
        QString err;
    };
    Result run(const QString& program, const QStringList& arguments, int timeoutMs = 20000) const;

    /// The frame of the first window on screen whose name matches the regular expression; none
    /// when no such window is on screen.
    QRect window(const QString& pattern) const;
    /// The panel's window while it is on screen.
    QRect panel() const { return window("^Pivana$"); }
    /// Windows on screen whose name matches the regular expression.
    int windowsNamed(const QString& pattern) const;
    void click(QPoint point) const;
    void key(const QStringList& keys) const;
    void type(const QString& text) const;
    /// Saves a screenshot of the whole screen under `name` in the build tree's screenshots folder
    /// and returns its path.
    QString screenshot(const QString& name) const;
    /// The whole screen now, as PNG bytes; kept apart from every other desktop's screen, as test
    /// programs run side by side.
    QByteArray capture() const;
    /// Summaries and bodies the notification daemon has shown, newest first, as "title | body".
    QStringList notifications() const;
    /// Every showing object of the app's windows, in tree order, read from the accessibility
    /// bus; empty while the app is not on it.
    std::vector<Control> controls() const;
    /// Performs an accessible action of the control, as a screen reader's user does.
    bool act(const Control& control, const QString& action) const;
    /// The X window id of the first window on screen whose name matches; empty when none.
    QString windowId(const QString& pattern) const;
    /// A property of an X window as xprop prints it.
    QString windowProperty(const QString& id, const QString& property) const;

private:
    QString m_home;
    std::unique_ptr<QProcess> m_tray;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

/// The tray app running in a desktop.
class Pivana {
public:
    /// Starts it with the desktop's environment changed by `changes` ("NAME=value"), and waits
    /// until `ready`: by default, until its windows exist.
    void start(const Desktop& desktop, const QStringList& changes = {},
               const std::function<bool()>& ready = {});
    /// Waits for it to end by itself; true when it ended with status 0.
    bool endsWell(int timeoutMs = 20000);
    void stop(const Desktop& desktop);
    /// Asks it to quit as the session does (SIGTERM); true when it ended by itself in time.
    bool quit(const Desktop& desktop);
    /// The names of its threads, one per thread ("QQmlThread" runs while a QML engine exists).
    QStringList threadNames() const;

private:
    std::unique_ptr<QProcess> m_process;
};

/// The inside of the panel in a fresh screenshot, in grey levels.
vips::VImage panelPixels(const Desktop& desktop, const QRect& panel);

/// What a user does with the panel, in the desktop.
class PanelUser {
public:
    explicit PanelUser(const Desktop& desktop) : m_desktop(desktop) {}

    bool panelShown() const { return m_desktop.panel().isValid(); }
    /// Hands files to the running app as the file manager does; the panel opens.
    bool openWith(const QStringList& files) const;
    /// Opens the panel with a click on the tray icon, once the tray shows it.
    QRect openPanelFromTray() const;
    /// The panel's frame once it is on screen with its controls.
    QRect shownPanel() const;
    /// The first showing control of this role (any, when empty) and name, once there is one;
    /// none when none comes within the time.
    std::optional<Control> find(const QString& role, const QString& name,
                                int timeoutMs = 20000) const;
    /// Whether a control of this role and name shows now.
    bool shows(const QString& role, const QString& name) const;
    /// Waits until the window of this role and name has the keyboard: the panel is the frame
    /// "Pivana", the confirmation the alert "Pivana", a file dialog the dialog of its title. Keys
    /// sent before the window manager hands a new window the focus would go elsewhere.
    bool awaitKeyboard(const QString& role, const QString& name) const;
    /// Waits for a button by its name and presses it through its accessible action.
    bool press(const QString& name) const;
    /// Waits for a control and clicks it with the mouse, at the middle of where it is drawn.
    bool click(const QString& role, const QString& name) const;
    /// Waits until the panel shows the same picture twice in a row: its animations over. Only
    /// for comparing how it is drawn; controls are found through the accessibility bus.
    bool settled() const;
    /// Closes the panel with a click elsewhere; false when it stays open.
    bool closePanel() const;

private:
    const Desktop& m_desktop;
};

}  // namespace pivana::test
