#pragma once

#include "platform/TrayIcon.h"

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QIcon>
#include <QPointer>

#include <memory>

namespace pivana {

class TrayIconWindow;

/// The icon as a window of our own, docked into an XEmbed tray (trayer, the panels of Xfce,
/// MATE, LXQt and Cinnamon) by the system tray protocol: a dock request to the owner of the
/// _NET_SYSTEM_TRAY_S<screen> selection. Owning the window is what lets the icon take drops.
/// A tray that starts later, or again after a crash, gets the icon as soon as it announces
/// itself.
class XEmbedTrayIcon final : public TrayIcon, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    explicit XEmbedTrayIcon(QObject* parent = nullptr);
    ~XEmbedTrayIcon() override;

    bool hostAvailable() const override;
    void show() override;
    void setIcon(const QIcon& icon) override;
    void setToolTip(const QString& text) override;
    void setMenu(QMenu* menu) override;
    QRect anchor() const override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    /// Finds the tray's window and hands it a new icon window; without a tray, waits for one.
    void dock();
    void undock();
    xcb_window_t findTray() const;

    xcb_connection_t* m_connection;
    xcb_atom_t m_selection = XCB_NONE;
    xcb_atom_t m_opcode = XCB_NONE;
    xcb_atom_t m_manager = XCB_NONE;
    xcb_window_t m_tray = XCB_NONE;
    bool m_shown = false;
    std::unique_ptr<TrayIconWindow> m_window;
    QIcon m_icon;
    QString m_toolTip;
    QPointer<QMenu> m_menu;
};

}  // namespace pivana
