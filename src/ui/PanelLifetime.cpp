#include "ui/PanelLifetime.h"

#include <algorithm>

namespace pivana {

PanelLifetime::PanelLifetime(Scheduler& scheduler, int releaseDelayMs,
                             std::function<void()> release)
    : m_scheduler(scheduler),
      m_delayMs(std::max(0, releaseDelayMs)),
      m_release(std::move(release)) {}

void PanelLifetime::shown() {
    m_shown = true;
    ++m_wait;
}

void PanelLifetime::hidden() {
    m_shown = false;
    scheduleRelease();
}

void PanelLifetime::setDialogOpen(bool open) {
    m_dialogsOpen = std::max(0, m_dialogsOpen + (open ? 1 : -1));
    if (open) {
        ++m_wait;
    } else if (!m_shown) {
        scheduleRelease();
    }
}

void PanelLifetime::scheduleRelease() {
    const unsigned wait = ++m_wait;
    m_scheduler.after(m_delayMs, [this, wait] {
        if (wait == m_wait && !m_shown && m_dialogsOpen == 0) {
            m_release();
        }
    });
}

}  // namespace pivana
