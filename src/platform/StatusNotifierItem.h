#pragma once

#include "platform/StatusNotifierTypes.h"
#include "platform/TrayIcon.h"

#include <QDBusServiceWatcher>
#include <QIcon>
#include <QPointer>

#include <optional>

namespace pivana {

class DBusMenuExporter;

/// The icon as a StatusNotifierItem of our own on the session bus, for the trays most desktops
/// run today (KDE Plasma, GNOME with the AppIndicator extension, Wayland panels). The host draws
/// the icon and its menu, and tells where the user clicked: Activate(x, y) is the one thing that
/// says where the icon is, so the panel is placed by that point. The item registers with the
/// StatusNotifierWatcher, and again whenever a watcher (re)appears.
class StatusNotifierItem final : public TrayIcon {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(pivana::sni::IconPixmaps IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ none)
    Q_PROPERTY(pivana::sni::IconPixmaps OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ none)
    Q_PROPERTY(pivana::sni::IconPixmaps AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ none)
    Q_PROPERTY(pivana::sni::ToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menuPath)

public:
    explicit StatusNotifierItem(QObject* parent = nullptr);
    ~StatusNotifierItem() override;

    /// Whether a StatusNotifierWatcher runs on the session bus with a host that shows items.
    static bool hostRuns();

    bool hostAvailable() const override;
    void show() override;
    void setIcon(const QIcon& icon) override;
    void setToolTip(const QString& text) override;
    void setMenu(QMenu* menu) override;
    /// The point of the last activation, else the pointer.
    QRect anchor() const override;

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return QStringLiteral("pivana"); }
    QString title() const { return QStringLiteral("Pivana"); }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString iconName() const { return m_icon.name(); }
    sni::IconPixmaps iconPixmap() const { return m_pixmaps; }
    QString none() const { return {}; }
    sni::IconPixmaps noPixmaps() const { return {}; }
    sni::ToolTip toolTip() const;
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menuPath() const;

public Q_SLOTS:
    Q_SCRIPTABLE void Activate(int x, int y);
    Q_SCRIPTABLE void SecondaryActivate(int x, int y);
    Q_SCRIPTABLE void ContextMenu(int x, int y);
    Q_SCRIPTABLE void Scroll(int delta, const QString& orientation);

Q_SIGNALS:
    Q_SCRIPTABLE void NewTitle();
    Q_SCRIPTABLE void NewIcon();
    Q_SCRIPTABLE void NewAttentionIcon();
    Q_SCRIPTABLE void NewOverlayIcon();
    Q_SCRIPTABLE void NewToolTip();
    Q_SCRIPTABLE void NewStatus(const QString& status);

private:
    void registerWithWatcher();
    /// Remembers where the host says the user clicked, in the app's own coordinates.
    void remember(int x, int y);

    QString m_service;
    bool m_shown = false;
    QIcon m_icon;
    sni::IconPixmaps m_pixmaps;
    QString m_toolTip;
    QPointer<QMenu> m_menu;
    DBusMenuExporter* m_menuExporter;
    QDBusServiceWatcher m_watcher;
    std::optional<QPoint> m_clicked;
};

}  // namespace pivana
