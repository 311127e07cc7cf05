#pragma once

#include <cstdint>
#include <functional>

namespace pivana {

/// When the floating panel closes by itself: on a click elsewhere, and on a change of virtual
/// desktop (which the tray controller handles alone).
///
/// A press elsewhere takes the activation from the panel at once, yet it may be the start of a
/// drag onto the panel. So once the panel has lost the activation, the controller tells this
/// rule of every pointer button that comes up, and a click counts at its release: away from
/// the panel it closes the panel, unless a drag the panel would take is over it, whose drop is
/// then awaited; if the drag ends without one, the panel closes. A drop that lands opens the
/// panel again with a short grace, and nothing closes it while one of its dialogs is open.
class PanelDismissal {
public:
    /// Milliseconds on a steady clock.
    using Clock = std::function<std::int64_t()>;
    explicit PanelDismissal(Clock clock);

    /// No closing for a while: a drop has just opened the panel, and the mouse-up that ends the
    /// drag elsewhere must not close it again.
    void suppressFor(int milliseconds);
    /// No closing while a dialog of the panel is open. Its closing settles the watch: the
    /// clicks that closed it are the dialog's, and the panel is made active again.
    void setDialogOpen(bool open);

    /// The panel has lost the activation; `buttonHeld`: a pointer button is down now. True:
    /// close it now.
    bool activationLost(bool buttonHeld);
    /// A pointer button came up while `watchingPointer`, with the pointer over the panel or
    /// not, and a drag the panel would take over it or not. True: close it now.
    bool buttonReleased(bool overPanel, bool dragHovering);
    /// No drag is over the panel any more: it left, or dropped. True: close it now.
    bool dragEnded(bool buttonHeld);
    /// The panel has the activation again, or was closed: nothing to watch.
    void settled();

    bool watchingPointer() const { return m_watching; }
    bool dialogOpen() const { return m_dialogOpen; }

private:
    bool suppressed() const;

    Clock m_clock;
    std::int64_t m_suppressedUntil = 0;
    bool m_dialogOpen = false;
    bool m_watching = false;
    bool m_awaitingDrop = false;
};

}  // namespace pivana
