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

}  // namespace pivana::x11
