#pragma once

#include "app/AppState.h"
#include "app/BackgroundBatchRunner.h"
#include "ui/PopoverViewModel.h"

#include <QDateTime>
#include <QObject>
#include <QSystemTrayIcon>

#include <memory>

class QQuickView;
class QMenu;

namespace pivana {

class Settings;

/// The tray icon and the floating panel under it that hosts the popover: opens and closes the
/// panel, keeps it sized to its content and on screen, closes it when it loses activation, and
/// shows a converting icon while a batch runs.
class StatusBarController : public QObject {
    Q_OBJECT

public:
    StatusBarController(AppState& appState, Settings& settings, QObject* parent = nullptr);
    ~StatusBarController() override;

    void togglePanel();
    void showPanel();
    void hidePanel();
    /// A batch from a drop or another `pivana`: the panel opens on it.
    void takeFiles(const QStringList& files);

    PopoverViewModel& popover() { return *m_popover; }
    QQuickView& panel() { return *m_panel; }

private:
    void placePanel();
    void updateIcon();
    void suppressDismissFor(int milliseconds);
    bool dismissSuppressed() const;

    AppState& m_appState;
    QSystemTrayIcon m_tray;
    std::unique_ptr<QMenu> m_menu;
    TimerScheduler m_scheduler{this};
    BackgroundBatchRunner m_runner;
    std::unique_ptr<PopoverViewModel> m_popover;
    std::unique_ptr<QQuickView> m_panel;
    QDateTime m_dismissSuppressedUntil;
    bool m_dismissSuppressedForDialog = false;
    bool m_compositing = true;
};

}  // namespace pivana
