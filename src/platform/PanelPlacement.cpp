#include "platform/PanelPlacement.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <limits>

namespace pivana::PanelPlacement {

QRect place(const QRect& anchor, QSize size, const QRect& screen, const QRect& available) {
    const bool below = anchor.center().y() < screen.center().y();
    int x = anchor.center().x() - size.width() / 2;
    int y = below ? anchor.bottom() + 1 + gap : anchor.top() - size.height() - gap;
    x = std::clamp(x, available.left(),
                   std::max(available.left(), available.right() + 1 - size.width()));
    y = std::clamp(y, available.top(),
                   std::max(available.top(), available.bottom() + 1 - size.height()));
    return {QPoint(x, y), size};
}

int tallest(const QRect& anchor, const QRect& screen, const QRect& available) {
    const bool below = anchor.center().y() < screen.center().y();
    const int top = below ? std::max(available.top(), anchor.bottom() + 1 + gap) : available.top();
    const int bottom =
        below ? available.bottom() + 1 : std::min(available.bottom() + 1, anchor.top() - gap);
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
