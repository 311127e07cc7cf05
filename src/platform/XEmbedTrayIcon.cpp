#include "platform/XEmbedTrayIcon.h"

#include "platform/TrayIconWindow.h"
#include "platform/X11.h"

#include <QCoreApplication>
#include <QCursor>
#include <QMenu>

namespace pivana {

namespace {

// The system tray protocol's opcode for "embed this window".
constexpr std::uint32_t requestDock = 0;

xcb_atom_t atomOrNone(xcb_connection_t* connection, const char* name) {
    return x11::atom(connection, name).value_or(XCB_NONE);
}

}  // namespace

XEmbedTrayIcon::XEmbedTrayIcon(QObject* parent)
    : TrayIcon(parent), m_connection(x11::connection()) {
    if (!m_connection) {
        return;
    }
    // The tray of the first screen, the screen the rest of this layer works on.
    m_selection = atomOrNone(m_connection, "_NET_SYSTEM_TRAY_S0");
    m_opcode = atomOrNone(m_connection, "_NET_SYSTEM_TRAY_OPCODE");
    m_manager = atomOrNone(m_connection, "MANAGER");
    // A tray that starts announces itself to the root window with a MANAGER message.
    x11::selectEvents(m_connection, x11::rootWindow(m_connection), XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

XEmbedTrayIcon::~XEmbedTrayIcon() {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeNativeEventFilter(this);
    }
}

xcb_window_t XEmbedTrayIcon::findTray() const {
    if (!m_connection || m_selection == XCB_NONE) {
        return XCB_NONE;
    }
    const x11::Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, m_selection), nullptr));
    return owner ? owner->owner : XCB_NONE;
}

bool XEmbedTrayIcon::hostAvailable() const {
    return findTray() != XCB_NONE;
}

void XEmbedTrayIcon::show() {
    m_shown = true;
    if (!m_window) {
        dock();
    }
}

void XEmbedTrayIcon::dock() {
    m_tray = findTray();
    if (!m_shown || m_tray == XCB_NONE || m_opcode == XCB_NONE) {
        return;
    }
    // To hear when this tray goes away.
    x11::selectEvents(m_connection, m_tray, XCB_EVENT_MASK_STRUCTURE_NOTIFY);

    m_window = std::make_unique<TrayIconWindow>([this] { return acceptsDrops(); });
    m_window->setIcon(m_icon);
    m_window->setToolTip(m_toolTip);
    connect(m_window.get(), &TrayIconWindow::pressed, this,
            [this](Qt::MouseButton button, QPoint position) {
                if (button == Qt::LeftButton) {
                    Q_EMIT activated();
                } else if (button == Qt::RightButton && m_menu) {
                    m_menu->popup(position);
                }
            });
    connect(m_window.get(), &TrayIconWindow::dropped, this, &TrayIcon::filesDropped);
    m_window->create();
    const auto icon = static_cast<std::uint32_t>(m_window->winId());
    x11::sendClientMessage(m_connection, m_tray, m_tray, m_opcode,
                           {XCB_CURRENT_TIME, requestDock, icon, 0, 0}, XCB_EVENT_MASK_NO_EVENT);
    m_window->show();  // mapped by Qt once the tray has embedded it
}

void XEmbedTrayIcon::undock() {
    // A window left behind by a tray that is gone would float on the desktop.
    m_window.reset();
    m_tray = XCB_NONE;
}

void XEmbedTrayIcon::setIcon(const QIcon& icon) {
    m_icon = icon;
    if (m_window) {
        m_window->setIcon(icon);
    }
}

void XEmbedTrayIcon::setToolTip(const QString& text) {
    m_toolTip = text;
    if (m_window) {
        m_window->setToolTip(text);
    }
}

void XEmbedTrayIcon::setMenu(QMenu* menu) {
    m_menu = menu;
}

QRect XEmbedTrayIcon::anchor() const {
    if (m_window && m_window->isExposed()) {
        const x11::Reply<xcb_translate_coordinates_reply_t> position(
            xcb_translate_coordinates_reply(
                m_connection,
                xcb_translate_coordinates(m_connection,
                                          static_cast<xcb_window_t>(m_window->winId()),
                                          x11::rootWindow(m_connection), 0, 0),
                nullptr));
        if (position) {
            const qreal scale = m_window->devicePixelRatio();
            return {QPoint(position->dst_x, position->dst_y) / scale, m_window->size()};
        }
    }
    return {QCursor::pos(), QSize(1, 1)};
}

bool XEmbedTrayIcon::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    // Both are acted on once Qt is done with the event that told of them.
    const char* type = eventType.constData();
    if (const auto* announced = reinterpret_cast<const xcb_client_message_event_t*>(
            x11::eventOfType(type, message, XCB_CLIENT_MESSAGE))) {
        if (announced->type == m_manager && announced->data.data32[1] == m_selection) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    undock();
                    dock();
                },
                Qt::QueuedConnection);
        }
    } else if (const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(
                   x11::eventOfType(type, message, XCB_DESTROY_NOTIFY))) {
        if (m_tray != XCB_NONE && destroyed->window == m_tray) {
            QMetaObject::invokeMethod(this, &XEmbedTrayIcon::undock, Qt::QueuedConnection);
        }
    }
    return false;
}

}  // namespace pivana
