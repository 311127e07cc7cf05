#pragma once

#include "app/BackgroundBatchRunner.h"
#include "settings/LaunchAtLogin.h"
#include "ui/AppState.h"
#include "ui/PopoverViewModel.h"
#include "ui/SettingsViewModel.h"

#include <QDateTime>
#include <QObject>
#include <QQuickView>

#include <memory>

class QMenu;

namespace pivana {

class Settings;
class TrayIcon;

/// The tray icon and the floating panel under it that hosts the popover: opens and closes the
/// panel, keeps it sized to its content and on screen, closes it when it loses activation, opens
/// it on every batch handed to the app state, and shows a converting icon while a batch runs.
class StatusBarController : public QObject {
    Q_OBJECT

public:
    StatusBarController(AppState& appState, Settings& settings, TrayIcon& tray,
                        QObject* parent = nullptr);
    ~StatusBarController() override;

    void togglePanel();
    void showPanel();
    void hidePanel();

private:
    void observeDrops();
    void setupPopover(Settings& settings);
    void setupSettingsView(Settings& settings);
    void setupPanel();
    void setupTrayIcon();
    void observeConversionState();

    /// Runs a modal dialog with the panel kept open behind it.
    template <typename Dialog>
    auto whileDialogOpen(Dialog&& dialog) {
        m_dismissSuppressedForDialog = true;
        auto result = dialog();
        m_dismissSuppressedForDialog = false;
        m_panel->requestActivate();
        return result;
    }

    void placePanel();
    void updateIcon();
    void suppressDismissFor(int milliseconds);
    bool dismissSuppressed() const;

    AppState& m_appState;
    TrayIcon& m_tray;
    std::unique_ptr<QMenu> m_menu;
    TimerScheduler m_scheduler{this};
    BackgroundBatchRunner m_runner;
    std::unique_ptr<PopoverViewModel> m_popover;
    LaunchAtLogin m_autostart;
    std::unique_ptr<SettingsViewModel> m_settingsView;
    std::unique_ptr<QQuickView> m_panel;
    QString m_browseFolder;  ///< where the browse dialog was left; the home folder at first
    QDateTime m_dismissSuppressedUntil;
    bool m_dismissSuppressedForDialog = false;
};

}  // namespace pivana
