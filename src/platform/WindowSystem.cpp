#include "platform/WindowSystem.h"

#include "platform/X11.h"

#include <QGuiApplication>
#include <QWindow>

namespace pivana::WindowSystem {

namespace {

// Asks the window manager to activate the window as a pager would. Opened by "Open With" or a
// terminal, the app has no recent input of its own, and focus-stealing prevention would leave
// the panel unfocused, so it would never learn of a click elsewhere.
void activateAsPager(xcb_connection_t* connection, QWindow& window) {
    const std::optional<xcb_atom_t> activeWindow = x11::atom(connection, "_NET_ACTIVE_WINDOW");
    if (!activeWindow) {
        return;
    }
    constexpr std::uint32_t sourcePager = 2;
    x11::sendClientMessage(
        connection, x11::rootWindow(connection), static_cast<xcb_window_t>(window.winId()),
        *activeWindow, {sourcePager, XCB_CURRENT_TIME, 0, 0, 0},
        XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
}

}  // namespace

bool composites() {
    if (QGuiApplication::platformName() != u"xcb") {
        return true;
    }
    xcb_connection_t* connection = x11::connection();
    if (!connection) {
        return false;
    }
    // A compositing manager owns the selection _NET_WM_CM_S<screen>.
    const std::optional<xcb_atom_t> selection = x11::atom(connection, "_NET_WM_CM_S0");
    if (!selection) {
        return false;
    }
    const x11::Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, *selection), nullptr));
    return owner && owner->owner != XCB_NONE;
}

void activate(QWindow& window) {
    window.raise();
    window.requestActivate();
    if (xcb_connection_t* connection = x11::connection()) {
        activateAsPager(connection, window);
    }
}

}  // namespace pivana::WindowSystem
