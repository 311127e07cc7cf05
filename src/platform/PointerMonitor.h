#pragma once

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <cstdint>

namespace pivana {

/// Hears every pointer button that comes up anywhere on the screen, whichever client the click
/// went to: the XInput 2 raw events of the root window, which the X server sends to every
/// client that asks (XInput 2.1 and later). Off X11, or without XInput 2.1, it never fires.
class PointerMonitor : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    explicit PointerMonitor(QObject* parent = nullptr);
    ~PointerMonitor() override;

    /// Listens only while asked to, since every release on the screen wakes every listener.
    void setListening(bool listening);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

Q_SIGNALS:
    /// A primary, middle or secondary button came up; delivered once Qt is done with the event
    /// that told of it.
    void buttonReleased();

private:
    /// The raw events this client has selected on the root window so far (Qt may select some).
    std::uint32_t selectedEvents() const;
    void selectEvents(std::uint32_t mask);

    xcb_connection_t* m_connection;
    xcb_window_t m_root = XCB_NONE;
    /// The XInput extension's opcode; 0 when raw events are not to be had.
    std::uint8_t m_opcode = 0;
    bool m_listening = false;
};

}  // namespace pivana
