#pragma once

#include <QByteArray>
#include <QString>

/// Which of Qt's platforms the tray app runs on. A Wayland client cannot place its own windows,
/// so its panel could not open under the tray icon: on a Wayland session the app runs on
/// XWayland (Qt's xcb platform), even when QT_QPA_PLATFORM asks for Wayland. Any other choice
/// made in QT_QPA_PLATFORM (xcb, or offscreen and the like for tests) is respected.
namespace pivana::DisplayPlatform {

/// What the session offers, from its environment.
struct Session {
    QByteArray requested;   ///< QT_QPA_PLATFORM: a platform, or a list of them tried in order
    bool wayland = false;   ///< a Wayland session (WAYLAND_DISPLAY, or XDG_SESSION_TYPE)
    bool xDisplay = false;  ///< an X server (or XWayland) to run on (DISPLAY)
};

struct Choice {
    /// The QT_QPA_PLATFORM to set before Qt starts; empty: leave it as it is.
    QByteArray platform;
    /// For standard error: why the request was not followed, or why the app cannot start.
    QString message;
    /// False: the app cannot start in this session.
    bool runs = true;
};

Choice choose(const Session& session);

/// `choose` for this process's environment.
Choice chooseForEnvironment();

}  // namespace pivana::DisplayPlatform
