#pragma once

#include <QRect>
#include <QSize>

/// Where the floating panel opens next to the tray icon.
namespace pivana::PanelPlacement {

/// Space between the anchor and the near edge of the panel.
constexpr int gap = 6;

/// The panel's frame for an anchor: the tray icon's rectangle when the tray host tells it, else a
/// 1 × 1 rectangle at the point the user clicked. The panel is centred on the anchor, opens below
/// it when the anchor lies in the upper half of `screen` (a panel at the top of the screen) and
/// above it otherwise, and is kept inside `available`, the screen less the desktop's own panels.
/// A panel larger than `available` keeps its size with its top-left corner inside.
QRect place(const QRect& anchor, QSize size, const QRect& screen, const QRect& available);

/// The tallest a panel placed by `place` can be without leaving `available`: the free height on
/// the side of the anchor it opens on.
int tallest(const QRect& anchor, const QRect& screen, const QRect& available);

/// `place` on the screen that shows the anchor's centre, or the primary screen when none does.
QRect placeOnScreen(const QRect& anchor, QSize size);

/// `tallest` on that screen; unbounded without a screen.
int tallestOnScreen(const QRect& anchor);

}  // namespace pivana::PanelPlacement
