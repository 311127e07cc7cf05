#include "platform/WindowSystem.h"

#include "platform/X11.h"

#include <QGuiApplication>
#include <QWindow>

#include <algorithm>
#include <vector>

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

void keepOutOfTaskbar(QWindow& window) {
    xcb_connection_t* connection = x11::connection();
    if (!connection) {
        return;
    }
    const std::optional<xcb_atom_t> state = x11::atom(connection, "_NET_WM_STATE");
    const std::optional<xcb_atom_t> skipTaskbar =
        x11::atom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
    const std::optional<xcb_atom_t> skipPager = x11::atom(connection, "_NET_WM_STATE_SKIP_PAGER");
    if (!state || !skipTaskbar || !skipPager) {
        return;
    }
    const auto id = static_cast<xcb_window_t>(window.winId());
    if (window.isVisible()) {
        // A mapped window's state belongs to the window manager: ask it.
        constexpr std::uint32_t add = 1;
        constexpr std::uint32_t sourceApplication = 1;
        x11::sendClientMessage(
            connection, x11::rootWindow(connection), id, *state,
            {add, *skipTaskbar, *skipPager, sourceApplication, 0},
            XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
        return;
    }
    // Before mapping, the window's own property says it; Qt adds its states (above) to those
    // it finds there.
    std::vector<xcb_atom_t> states;
    const x11::Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, id, *state, XCB_ATOM_ATOM, 0, 64), nullptr));
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        states.assign(atoms, atoms + xcb_get_property_value_length(reply.get()) / 4);
    }
    for (const xcb_atom_t wanted : {*skipTaskbar, *skipPager}) {
        if (std::find(states.begin(), states.end(), wanted) == states.end()) {
            states.push_back(wanted);
        }
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, *state, XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(states.size()), states.data());
    xcb_flush(connection);
}

bool pointerButtonHeld() {
    xcb_connection_t* connection = x11::connection();
    return connection && x11::pointerButtonHeld(connection);
}

}  // namespace pivana::WindowSystem
