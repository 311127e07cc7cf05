#include "platform/PointerMonitor.h"

#include "platform/X11.h"

#include <xcb/xinput.h>

#include <QCoreApplication>

namespace pivana {

namespace {

constexpr std::uint32_t rawRelease = XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE;

// Raw events reach clients without the pointer grab from version 2.1 on. The version a client
// asks for may not be lower than one it asked for before (Qt asks too), so ask for the highest
// this code knows; the server answers with what it has.
bool rawEventsForEveryone(xcb_connection_t* connection) {
    const x11::Reply<xcb_input_xi_query_version_reply_t> version(xcb_input_xi_query_version_reply(
        connection, xcb_input_xi_query_version(connection, 2, 4), nullptr));
    return version && (version->major_version > 2 ||
                       (version->major_version == 2 && version->minor_version >= 1));
}

}  // namespace

PointerMonitor::PointerMonitor(QObject* parent) : QObject(parent), m_connection(x11::connection()) {
    if (!m_connection) {
        return;
    }
    const xcb_query_extension_reply_t* input = xcb_get_extension_data(m_connection, &xcb_input_id);
    if (!input || !input->present || !rawEventsForEveryone(m_connection)) {
        return;
    }
    m_opcode = input->major_opcode;
    m_root = x11::rootWindow(m_connection);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

PointerMonitor::~PointerMonitor() {
    setListening(false);
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeNativeEventFilter(this);
    }
}

std::uint32_t PointerMonitor::selectedEvents() const {
    const x11::Reply<xcb_input_xi_get_selected_events_reply_t> selected(
        xcb_input_xi_get_selected_events_reply(
            m_connection, xcb_input_xi_get_selected_events(m_connection, m_root), nullptr));
    if (!selected) {
        return 0;
    }
    for (auto masks = xcb_input_xi_get_selected_events_masks_iterator(selected.get()); masks.rem;
         xcb_input_event_mask_next(&masks)) {
        if (masks.data->deviceid == XCB_INPUT_DEVICE_ALL_MASTER && masks.data->mask_len > 0) {
            return xcb_input_event_mask_mask(masks.data)[0];
        }
    }
    return 0;
}

void PointerMonitor::selectEvents(std::uint32_t mask) {
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, mask};
    xcb_input_xi_select_events(m_connection, m_root, 1, &selection.head);
    xcb_flush(m_connection);
}

void PointerMonitor::setListening(bool listening) {
    if (m_opcode == 0 || listening == m_listening) {
        return;
    }
    m_listening = listening;
    const std::uint32_t selected = selectedEvents();
    selectEvents(listening ? selected | rawRelease : selected & ~rawRelease);
}

bool PointerMonitor::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(
        x11::eventOfType(eventType.constData(), message, XCB_GE_GENERIC));
    if (!m_listening || !generic || generic->extension != m_opcode ||
        generic->event_type != XCB_INPUT_RAW_BUTTON_RELEASE) {
        return false;
    }
    // Buttons 4 to 7 are the wheel's.
    const auto* release = reinterpret_cast<const xcb_input_raw_button_release_event_t*>(generic);
    if (release->detail >= 1 && release->detail <= 3) {
        QMetaObject::invokeMethod(this, &PointerMonitor::buttonReleased, Qt::QueuedConnection);
    }
    return false;
}

}  // namespace pivana
