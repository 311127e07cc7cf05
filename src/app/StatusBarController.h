#pragma once

#include "app/BackgroundBatchRunner.h"
#include "app/HandOff.h"
#include "platform/DesktopWatcher.h"
#include "platform/PointerMonitor.h"
#include "settings/LaunchAtLogin.h"
#include "ui/AppState.h"
#include "ui/PanelDismissal.h"
#include "ui/PanelLifetime.h"
#include "ui/PopoverViewModel.h"
#include "ui/SettingsViewModel.h"

#include <QObject>
#include <QPointer>
#include <QQuickItem>
#include <QQuickView>

#include <memory>

class QMenu;

namespace pivana {

class Settings;
class TrayIcon;

/// The tray icon and the floating panel under it that hosts the popover: opens and closes the
/// panel, keeps it sized to its content and on screen, closes it on a click elsewhere and on a
/// change of virtual desktop, opens it on every batch handed to the app state (dropped on it or
/// on the icon, or handed over by another `pivana`), and shows a converting icon while a batch
/// runs. The panel is built when it first opens and let go a while after it closes
/// (`PanelLifetime`): the tray icon needs none of it.
class StatusBarController : public QObject {
    Q_OBJECT

public:
    /// How long the closed panel stays built: long enough for closing and opening it again to
    /// find it ready, short enough that an app idling in the tray soon holds none of it.
    static constexpr int defaultReleaseDelayMs = 30'000;

    StatusBarController(AppState& appState, Settings& settings, TrayIcon& tray,
                        int releaseDelayMs = defaultReleaseDelayMs, QObject* parent = nullptr);
    ~StatusBarController() override;

    void togglePanel();
    void showPanel();
    void hidePanel();

    /// Takes a batch from another `pivana`: opens the panel on it, and converts it at once when
    /// a format comes with it. Refused while a batch converts; a notification then says so, as
    /// the answer does.
    HandOffAnswer takeHandOff(const HandOff& handOff);

private:
    void observeDrops();
    void observeDismissal();
    void setupPopover(Settings& settings);
    void setupSettingsView(Settings& settings);
    /// Builds the panel when it does not exist yet.
    void ensurePanel();
    void releasePanel();
    bool panelVisible() const { return m_panel && m_panel->isVisible(); }
    void setupTrayIcon();
    void observeConversionState();

    /// Runs a modal dialog with the panel kept open behind it.
    template <typename Dialog>
    auto whileDialogOpen(Dialog&& dialog) {
        setDialogOpen(true);
        auto result = dialog();
        setDialogOpen(false);
        return result;
    }
    void setDialogOpen(bool open);
    /// Gives the keyboard back to the panel's control that had it before a dialog opened.
    void restoreFocus();

    void placePanel();
    void updateIcon();
    /// Closes the panel when the dismissal rule says so.
    void closeIf(bool close);
    /// The panel is active again, or closed: no click elsewhere to listen for.
    void settleDismissal();

    AppState& m_appState;
    TrayIcon& m_tray;
    std::unique_ptr<QMenu> m_menu;
    TimerScheduler m_scheduler{this};
    BackgroundBatchRunner m_runner;
    std::unique_ptr<PopoverViewModel> m_popover;
    LaunchAtLogin m_autostart;
    std::unique_ptr<SettingsViewModel> m_settingsView;
    std::unique_ptr<QQuickView> m_panel;  ///< null until the panel first opens, and once let go
    PanelLifetime m_lifetime;
    QString m_browseFolder;  ///< where the browse dialog was left; the home folder at first
    PanelDismissal m_dismissal;
    /// Hears clicks elsewhere while the panel is open without the activation.
    PointerMonitor m_pointer;
    DesktopWatcher m_desktops;
    bool m_dragHovering = false;
    QPointer<QQuickItem> m_focusBeforeDialog;
};

}  // namespace pivana
