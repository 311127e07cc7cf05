#pragma once

#include <QRect>
#include <QSize>

/// Where the floating panel opens next to the tray icon.
namespace pivana::PanelPlacement {

/// Space between the anchor and the near edge of the panel.
constexpr int gap = 6;

/// The panel's frame for an anchor: the tray icon's rectangle when the tray host tells it, else a
/// 1 × 1 rectangle at the point the user clicked. The panel opens away from the desktop panel
/// the anchor lies in (the part of `screen` outside `available`): below a top panel and above a
/// bottom one, centred on the anchor; beside a left or right panel, level with it. An anchor
/// inside `available` opens it below when in the upper half of `screen`, above otherwise. The
/// panel is kept inside `available`; one larger than that keeps its size with its top-left
/// corner inside.
QRect place(const QRect& anchor, QSize size, const QRect& screen, const QRect& available);

/// The tallest a panel placed by `place` can be without leaving `available`: the free height on
/// the side of the anchor it opens on (below or above it), or the whole free height beside a
/// side panel.
int tallest(const QRect& anchor, const QRect& screen, const QRect& available);

/// `place` on the screen that shows the anchor's centre, or the primary screen when none does.
QRect placeOnScreen(const QRect& anchor, QSize size);

/// `tallest` on that screen; unbounded without a screen.
int tallestOnScreen(const QRect& anchor);

}  // namespace pivana::PanelPlacement
