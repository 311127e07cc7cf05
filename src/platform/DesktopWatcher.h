#pragma once

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <cstdint>
#include <optional>

namespace pivana {

/// Tells when the screen shows another virtual desktop, from the window manager's
/// _NET_CURRENT_DESKTOP on the root window. Off X11, or under a window manager without virtual
/// desktops, it never fires.
class DesktopWatcher : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    explicit DesktopWatcher(QObject* parent = nullptr);
    ~DesktopWatcher() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

Q_SIGNALS:
    /// Another desktop is shown; delivered once Qt is done with the event that told of it.
    void currentDesktopChanged();

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_root = XCB_NONE;
    xcb_atom_t m_currentDesktop = XCB_NONE;
    std::optional<std::uint32_t> m_desktop;
};

}  // namespace pivana
