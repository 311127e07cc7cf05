#include "platform/X11.h"

#include <QGuiApplication>

#include <algorithm>
#include <cstring>

namespace pivana::x11 {

xcb_connection_t* connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

const xcb_generic_event_t* eventOfType(const char* eventType, void* message, std::uint8_t type) {
    if (std::strcmp(eventType, "xcb_generic_event_t") != 0) {
        return nullptr;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    // The top bit only tells that the event was sent by another client.
    return (event->response_type & 0x7f) == type ? event : nullptr;
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

void selectEvents(xcb_connection_t* connection, xcb_window_t window, std::uint32_t mask) {
    const Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        connection, xcb_get_window_attributes(connection, window), nullptr));
    if (!attributes) {
        return;  // the window is gone
    }
    const std::uint32_t events = attributes->your_event_mask | mask;
    xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &events);
    xcb_flush(connection);
}

std::optional<std::uint32_t> cardinalProperty(xcb_connection_t* connection, xcb_window_t window,
                                              xcb_atom_t property) {
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, property, XCB_ATOM_CARDINAL, 0, 1),
        nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) {
        return std::nullopt;
    }
    return *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
}

bool pointerButtonHeld(xcb_connection_t* connection) {
    const Reply<xcb_query_pointer_reply_t> pointer(xcb_query_pointer_reply(
        connection, xcb_query_pointer(connection, rootWindow(connection)), nullptr));
    // Buttons 4 and 5 are the wheel, whose presses end as they begin.
    constexpr std::uint16_t buttons =
        XCB_KEY_BUT_MASK_BUTTON_1 | XCB_KEY_BUT_MASK_BUTTON_2 | XCB_KEY_BUT_MASK_BUTTON_3;
    return pointer && (pointer->mask & buttons) != 0;
}

}  // namespace pivana::x11
