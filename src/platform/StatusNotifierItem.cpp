#include "platform/StatusNotifierItem.h"

#include "platform/DBusMenuExporter.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

namespace pivana {

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString itemPath = QStringLiteral("/StatusNotifierItem");
const QString menuObjectPath = QStringLiteral("/MenuBar");

// Hosts speak in device pixels; on a scaled screen the app places windows in its own units.
QPoint fromDevicePixels(QPoint point) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect logical = screen->geometry();
        const qreal scale = screen->devicePixelRatio();
        const QRect native(logical.topLeft(), logical.size() * scale);
        if (native.contains(point)) {
            return logical.topLeft() + (point - logical.topLeft()) / scale;
        }
    }
    return point;
}

}  // namespace

StatusNotifierItem::StatusNotifierItem(QObject* parent)
    : TrayIcon(parent),
      m_service(QStringLiteral("org.kde.StatusNotifierItem-%1-1")
                    .arg(QCoreApplication::applicationPid())),
      m_menuExporter(new DBusMenuExporter(this)),
      m_watcher(watcherService, QDBusConnection::sessionBus(),
                QDBusServiceWatcher::WatchForRegistration) {
    sni::registerTypes();
    // A watcher that starts later, or again after a crash, forgets the items it had.
    connect(&m_watcher, &QDBusServiceWatcher::serviceRegistered, this,
            &StatusNotifierItem::registerWithWatcher);
}

StatusNotifierItem::~StatusNotifierItem() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(itemPath);
    bus.unregisterObject(menuObjectPath);
    bus.unregisterService(m_service);
}

bool StatusNotifierItem::hostRuns() {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus || !bus->isServiceRegistered(watcherService).value()) {
        return false;
    }
    QDBusInterface watcher(watcherService, watcherPath, watcherService,
                           QDBusConnection::sessionBus());
    return watcher.property("IsStatusNotifierHostRegistered").toBool();
}

bool StatusNotifierItem::hostAvailable() const {
    return hostRuns();
}

void StatusNotifierItem::show() {
    if (m_shown) {
        return;
    }
    m_shown = true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.registerObject(menuObjectPath, m_menuExporter, QDBusConnection::ExportAllContents);
    bus.registerObject(itemPath, this, QDBusConnection::ExportScriptableContents);
    bus.registerService(m_service);
    registerWithWatcher();
}

void StatusNotifierItem::registerWithWatcher() {
    if (!m_shown) {
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        watcherService, watcherPath, watcherService, QStringLiteral("RegisterStatusNotifierItem"));
    call << m_service;
    QDBusConnection::sessionBus().asyncCall(call);
}

void StatusNotifierItem::setIcon(const QIcon& icon) {
    m_icon = icon;
    m_pixmaps = sni::iconPixmaps(icon);
    Q_EMIT NewIcon();
}

void StatusNotifierItem::setToolTip(const QString& text) {
    m_toolTip = text;
    Q_EMIT NewToolTip();
}

sni::ToolTip StatusNotifierItem::toolTip() const {
    return {m_icon.name(), m_pixmaps, m_toolTip, {}};
}

void StatusNotifierItem::setMenu(QMenu* menu) {
    m_menu = menu;
    m_menuExporter->setMenu(menu);
}

QDBusObjectPath StatusNotifierItem::menuPath() const {
    return QDBusObjectPath(menuObjectPath);
}

void StatusNotifierItem::remember(int x, int y) {
    // Some hosts do not know where the icon is and send the origin.
    if (x != 0 || y != 0) {
        m_clicked = fromDevicePixels({x, y});
    }
}

QRect StatusNotifierItem::anchor() const {
    return {m_clicked.value_or(QCursor::pos()), QSize(1, 1)};
}

void StatusNotifierItem::Activate(int x, int y) {
    remember(x, y);
    Q_EMIT activated();
}

void StatusNotifierItem::SecondaryActivate(int x, int y) {
    Activate(x, y);
}

// Hosts that draw the menu themselves never ask for this; the others get ours at the point.
void StatusNotifierItem::ContextMenu(int x, int y) {
    remember(x, y);
    if (m_menu) {
        m_menu->popup(anchor().topLeft());
    }
}

void StatusNotifierItem::Scroll(int, const QString&) {}

}  // namespace pivana
