#include "platform/PanelPlacement.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

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

QRect placeOnScreen(const QRect& anchor, QSize size) {
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (!screen) {
        return {anchor.topLeft(), size};  // no screen at all: nothing to keep it inside
    }
    return place(anchor, size, screen->geometry(), screen->availableGeometry());
}

}  // namespace pivana::PanelPlacement
