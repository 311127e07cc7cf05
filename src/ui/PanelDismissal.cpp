#include "ui/PanelDismissal.h"

namespace pivana {

PanelDismissal::PanelDismissal(Clock clock) : m_clock(std::move(clock)) {}

void PanelDismissal::suppressFor(int milliseconds) {
    m_suppressedUntil = m_clock() + milliseconds;
}

void PanelDismissal::setDialogOpen(bool open) {
    m_dialogOpen = open;
    if (!open) {
        // The release that closed the dialog (its Open or Cancel button) is heard after the
        // dialog is gone; it was no click elsewhere. The panel takes the activation back, and a
        // later loss of it starts the watch again.
        settled();
    }
}

bool PanelDismissal::suppressed() const {
    return m_dialogOpen || m_clock() < m_suppressedUntil;
}

bool PanelDismissal::activationLost(bool buttonHeld) {
    m_watching = true;
    // Without a button held the click is already over (or the keyboard moved the activation).
    return !buttonHeld && !suppressed();
}

bool PanelDismissal::buttonReleased(bool overPanel, bool dragHovering) {
    if (!m_watching) {
        return false;
    }
    if (dragHovering) {
        m_awaitingDrop = true;  // the drop is on its way to the panel, or the drag leaves it
        return false;
    }
    return !overPanel && !suppressed();
}

bool PanelDismissal::dragEnded(bool buttonHeld) {
    if (!m_awaitingDrop || buttonHeld) {
        return false;
    }
    m_awaitingDrop = false;
    return !suppressed();
}

void PanelDismissal::settled() {
    m_watching = false;
    m_awaitingDrop = false;
}

}  // namespace pivana
