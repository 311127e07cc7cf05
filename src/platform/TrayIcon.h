#pragma once

#include <QObject>
#include <QRect>
#include <QStringList>

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
    /// the host tells it, or a 1 × 1 rectangle at the point where the host says the icon was
    /// clicked; only when neither is known, a 1 × 1 rectangle at the pointer.
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

/// The icon this desktop shows best. Where a StatusNotifierItem host runs, an item of our own on
/// the session bus; else, on X11, a window of our own docked into the XEmbed tray (the only kind
/// of icon that can take drops), which waits for a tray when none runs yet; else the item, which
/// waits for a host.
std::unique_ptr<TrayIcon> createTrayIcon();

}  // namespace pivana
