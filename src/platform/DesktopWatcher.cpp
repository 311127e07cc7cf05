#include "platform/DesktopWatcher.h"

#include "platform/X11.h"

#include <QCoreApplication>

namespace pivana {

DesktopWatcher::DesktopWatcher(QObject* parent) : QObject(parent), m_connection(x11::connection()) {
    if (!m_connection) {
        return;
    }
    m_root = x11::rootWindow(m_connection);
    m_currentDesktop = x11::atom(m_connection, "_NET_CURRENT_DESKTOP").value_or(XCB_NONE);
    m_desktop = x11::cardinalProperty(m_connection, m_root, m_currentDesktop);
    x11::selectEvents(m_connection, m_root, XCB_EVENT_MASK_PROPERTY_CHANGE);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

DesktopWatcher::~DesktopWatcher() {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeNativeEventFilter(this);
    }
}

bool DesktopWatcher::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    const auto* changed = reinterpret_cast<const xcb_property_notify_event_t*>(
        x11::eventOfType(eventType.constData(), message, XCB_PROPERTY_NOTIFY));
    if (!changed || m_currentDesktop == XCB_NONE || changed->window != m_root ||
        changed->atom != m_currentDesktop) {
        return false;
    }
    // Window managers rewrite the property with the same value now and then.
    const std::optional<std::uint32_t> desktop =
        x11::cardinalProperty(m_connection, m_root, m_currentDesktop);
    if (desktop != m_desktop) {
        m_desktop = desktop;
        QMetaObject::invokeMethod(this, &DesktopWatcher::currentDesktopChanged,
                                  Qt::QueuedConnection);
    }
    return false;
}

}  // namespace pivana
