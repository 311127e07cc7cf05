#include "platform/X11.h"

#include <QGuiApplication>

#include <algorithm>
#include <cstring>

namespace pivana::x11 {

xcb_connection_t* connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

std::optional<xcb_atom_t> atom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookie, nullptr));
    if (!reply) {
        return std::nullopt;
    }
    return reply->atom;
}

xcb_window_t rootWindow(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

void sendClientMessage(xcb_connection_t* connection, xcb_window_t destination, xcb_window_t window,
                       xcb_atom_t type, const std::array<std::uint32_t, 5>& data,
                       std::uint32_t eventMask) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    std::copy(data.begin(), data.end(), event.data.data32);
    // xcb_send_event copies exactly 32 bytes, the size of every X event.
    static_assert(sizeof(event) == 32);
    xcb_send_event(connection, 0, destination, eventMask, reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
}

}  // namespace pivana::x11
