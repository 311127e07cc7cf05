#include "platform/TrayIcon.h"

#include "platform/X11.h"
#include "platform/XEmbedTrayIcon.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QIcon>

namespace pivana {

namespace {

// What Qt's own icon looks for before it speaks StatusNotifierItem: the watcher, and a host
// registered with it.
bool statusNotifierHostRuns() {
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus || !bus->isServiceRegistered(watcher).value()) {
        return false;
    }
    QDBusInterface properties(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher,
                              QDBusConnection::sessionBus());
    return properties.property("IsStatusNotifierHostRegistered").toBool();
}

}  // namespace

QtTrayIcon::QtTrayIcon(QObject* parent) : TrayIcon(parent) {
    connect(&m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    Q_EMIT activated();
                }
            });
}

bool QtTrayIcon::hostAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayIcon::show() {
    m_icon.show();
}

void QtTrayIcon::setIcon(const QIcon& icon) {
    m_icon.setIcon(icon);
}

void QtTrayIcon::setToolTip(const QString& text) {
    m_icon.setToolTip(text);
}

void QtTrayIcon::setMenu(QMenu* menu) {
    m_icon.setContextMenu(menu);
}

QRect QtTrayIcon::anchor() const {
    const QRect icon = m_icon.geometry();
    return icon.isValid() ? icon : QRect(QCursor::pos(), QSize(1, 1));
}

std::unique_ptr<TrayIcon> createTrayIcon() {
    if (x11::connection() && !statusNotifierHostRuns()) {
        return std::make_unique<XEmbedTrayIcon>();
    }
    return std::make_unique<QtTrayIcon>();
}

}  // namespace pivana
