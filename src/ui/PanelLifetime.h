#pragma once

#include "ui/Scheduler.h"

#include <functional>

namespace pivana {

/// When the panel's window and everything behind it (its QML engine, scene and image caches)
/// are let go: a while after the panel closes, so that an app idling in the tray holds none of
/// it, while closing and opening the panel again soon after finds it still built. Nothing is let
/// go while the panel shows, nor while one of its dialogs is open: a dialog runs inside a call
/// from the panel's QML, which must outlive it; the wait starts afresh once the dialog closes.
/// What the panel shows lives in its view-models, so a panel built again shows the same.
class PanelLifetime {
public:
    /// `release` is called on the scheduler, never from inside a call to this rule.
    PanelLifetime(Scheduler& scheduler, int releaseDelayMs, std::function<void()> release);

    void shown();
    void hidden();
    void setDialogOpen(bool open);

    int releaseDelayMs() const { return m_delayMs; }

private:
    void scheduleRelease();

    Scheduler& m_scheduler;
    int m_delayMs;
    std::function<void()> m_release;
    bool m_shown = false;
    int m_dialogsOpen = 0;
    /// Counts the waits started; a wait that is no longer the latest lets nothing go.
    unsigned m_wait = 0;
};

}  // namespace pivana
