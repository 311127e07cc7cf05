#pragma once

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>

/// Small helpers over Qt's own xcb connection, for the few X11 requests Qt has no API for.
namespace pivana::x11 {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};

/// A reply from the X server, freed on every way out of the scope that holds it.
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

/// Qt's connection to the X server; null when the application runs on another platform.
xcb_connection_t* connection();

/// The X event a native event filter is handed (`eventType`, `message`), when it is one of this
/// response type; else null.
const xcb_generic_event_t* eventOfType(const char* eventType, void* message, std::uint8_t type);

/// The atom of that name (interned if the server does not know it yet); none when the server
/// does not answer.
std::optional<xcb_atom_t> atom(xcb_connection_t* connection, const char* name);

/// The root window of the first screen.
xcb_window_t rootWindow(xcb_connection_t* connection);

/// Sends a client message with 32-bit data about `window` to `destination`, selected by
/// `eventMask` (the root window with the substructure masks reaches the window manager).
void sendClientMessage(xcb_connection_t* connection, xcb_window_t destination, xcb_window_t window,
                       xcb_atom_t type, const std::array<std::uint32_t, 5>& data,
                       std::uint32_t eventMask);

/// Adds `mask` to the events this client hears from `window`, keeping those it (or Qt) already
/// selected: a plain change of the event mask would replace them.
void selectEvents(xcb_connection_t* connection, xcb_window_t window, std::uint32_t mask);

/// A 32-bit CARDINAL property of a window; none when it is not set.
std::optional<std::uint32_t> cardinalProperty(xcb_connection_t* connection, xcb_window_t window,
                                              xcb_atom_t property);

/// Whether a pointer button is down anywhere on the screen, whichever client gets the events.
bool pointerButtonHeld(xcb_connection_t* connection);

}  // namespace pivana::x11
