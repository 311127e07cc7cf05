#include "platform/DisplayPlatform.h"

#include <QList>
#include <QtGlobal>

namespace pivana::DisplayPlatform {

namespace {

const QString needsXWayland = QStringLiteral(
    "Pivana needs XWayland on a Wayland session, to place its panel under the tray icon; "
    "no X display (DISPLAY) is set.");

// "wayland", "wayland-egl", or a list such as "wayland;xcb" that tries Wayland first; a
// platform may carry options after a colon.
bool asksForWayland(const QByteArray& requested) {
    return requested.split(';').constFirst().split(':').constFirst().trimmed().startsWith(
        "wayland");
}

}  // namespace

Choice choose(const Session& session) {
    if (session.requested.trimmed().isEmpty()) {
        if (!session.wayland) {
            return {};
        }
        if (!session.xDisplay) {
            return {{}, needsXWayland, false};
        }
        return {"xcb", {}, true};
    }
    if (!asksForWayland(session.requested)) {
        return {};
    }
    if (!session.xDisplay) {
        return {{}, needsXWayland, false};
    }
    return {"xcb",
            QStringLiteral("QT_QPA_PLATFORM=%1 is not followed: a Wayland client cannot place its "
                           "panel under the tray icon, so Pivana runs on XWayland (xcb).")
                .arg(QString::fromLocal8Bit(session.requested)),
            true};
}

Choice chooseForEnvironment() {
    return choose({qgetenv("QT_QPA_PLATFORM"),
                   !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                       qgetenv("XDG_SESSION_TYPE") == "wayland",
                   !qEnvironmentVariableIsEmpty("DISPLAY")});
}

}  // namespace pivana::DisplayPlatform
