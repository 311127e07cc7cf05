#pragma once

#include <QObject>
#include <QRect>
#include <QStringList>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>

class QIcon;
class QMenu;

namespace pivana {

/// The app's icon in the desktop's tray, whichever protocol shows it. The tray controller only
/// talks to this, so a host of another kind needs only another implementation.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    /// Whether a tray host runs that can show the icon.
    virtual bool hostAvailable() const = 0;
    virtual void show() = 0;
    virtual void setIcon(const QIcon& icon) = 0;
    virtual void setToolTip(const QString& text) = 0;
    /// The menu of a secondary click; the caller keeps it alive.
    virtual void setMenu(QMenu* menu) = 0;
    /// What a panel opened from the icon is placed against: the icon's rectangle on screen when
    /// the host tells it, else a 1 × 1 rectangle at the pointer.
    virtual QRect anchor() const = 0;

    /// Asked at every step of a drag of files over the icon: whether a drop would be taken now.
    /// Without it every drag of files is taken.
    void setDropFilter(std::function<bool()> accepting) { m_accepting = std::move(accepting); }
    bool acceptsDrops() const { return !m_accepting || m_accepting(); }

Q_SIGNALS:
    /// A primary click (or a double click) on the icon.
    void activated();
    /// Files dropped on the icon and taken, in the drag's order.
    void filesDropped(const QStringList& files);

private:
    std::function<bool()> m_accepting;
};

/// The icon through QSystemTrayIcon, which finds the desktop's tray host itself.
class QtTrayIcon final : public TrayIcon {
    Q_OBJECT

public:
    explicit QtTrayIcon(QObject* parent = nullptr);

    bool hostAvailable() const override;
    void show() override;
    void setIcon(const QIcon& icon) override;
    void setToolTip(const QString& text) override;
    void setMenu(QMenu* menu) override;
    QRect anchor() const override;

private:
    QSystemTrayIcon m_icon;
};

/// The icon this desktop shows best. Where a StatusNotifierItem host runs, Qt's icon talks to it
/// over D-Bus; on other X11 desktops the icon is a window of our own docked into the XEmbed
/// tray, the only kind of icon that can take drops.
std::unique_ptr<TrayIcon> createTrayIcon();

}  // namespace pivana
