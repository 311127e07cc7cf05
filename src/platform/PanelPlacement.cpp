#include "platform/PanelPlacement.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <limits>

namespace pivana::PanelPlacement {

namespace {

enum class Side { below, above, right, left };

// A desktop panel reserves its strip of the screen: an anchor in a strip at the top or bottom
// edge opens the panel away from that edge, in a strip at a side edge beside it. Elsewhere
// (a panel that hides itself, or a point on the desktop) the nearer of top and bottom decides.
Side sideFor(QPoint anchor, const QRect& screen, const QRect& available) {
    if (anchor.y() < available.top()) {
        return Side::below;
    }
    if (anchor.y() > available.bottom()) {
        return Side::above;
    }
    if (anchor.x() < available.left()) {
        return Side::right;
    }
    if (anchor.x() > available.right()) {
        return Side::left;
    }
    return anchor.y() < screen.center().y() ? Side::below : Side::above;
}

}  // namespace

QRect place(const QRect& anchor, QSize size, const QRect& screen, const QRect& available) {
    int x = anchor.center().x() - size.width() / 2;
    int y = anchor.center().y() - size.height() / 2;
    switch (sideFor(anchor.center(), screen, available)) {
        case Side::below:
            y = anchor.bottom() + 1 + gap;
            break;
        case Side::above:
            y = anchor.top() - size.height() - gap;
            break;
        case Side::right:
            x = anchor.right() + 1 + gap;
            break;
        case Side::left:
            x = anchor.left() - size.width() - gap;
            break;
    }
    x = std::clamp(x, available.left(),
                   std::max(available.left(), available.right() + 1 - size.width()));
    y = std::clamp(y, available.top(),
                   std::max(available.top(), available.bottom() + 1 - size.height()));
    return {QPoint(x, y), size};
}

int tallest(const QRect& anchor, const QRect& screen, const QRect& available) {
    const Side side = sideFor(anchor.center(), screen, available);
    const bool below = side == Side::below;
    const bool above = side == Side::above;
    const int top = below ? std::max(available.top(), anchor.bottom() + 1 + gap) : available.top();
    const int bottom =
        above ? std::min(available.bottom() + 1, anchor.top() - gap) : available.bottom() + 1;
    return std::max(0, bottom - top);
}

namespace {

QScreen* screenOf(const QRect& anchor) {
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    return screen ? screen : QGuiApplication::primaryScreen();
}

}  // namespace

QRect placeOnScreen(const QRect& anchor, QSize size) {
    const QScreen* screen = screenOf(anchor);
    if (!screen) {
        return {anchor.topLeft(), size};  // no screen at all: nothing to keep it inside
    }
    return place(anchor, size, screen->geometry(), screen->availableGeometry());
}

int tallestOnScreen(const QRect& anchor) {
    const QScreen* screen = screenOf(anchor);
    return screen ? tallest(anchor, screen->geometry(), screen->availableGeometry())
                  : std::numeric_limits<int>::max();
}

}  // namespace pivana::PanelPlacement
