#include "platform/PanelPlacement.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

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
