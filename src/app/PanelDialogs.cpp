#include "app/PanelDialogs.h"

#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace pivana {

void belongToPanel(QWidget& dialog, QWindow* panel) {
    // Above the panel, which stays on top of other windows; no maximising a dialog this size.
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    if (!panel) {
        return;
    }
    // The native window must exist before it can name the panel as its owner.
    dialog.winId();
    if (QWindow* window = dialog.windowHandle()) {
        window->setTransientParent(panel);
    }
    // Its top where the panel's is, centred on it, inside the screen's free area.
    // A dialog never resized has no size of its own until it shows: its layout's is the one.
    const QSize size = dialog.testAttribute(Qt::WA_Resized) ? dialog.size() : dialog.sizeHint();
    const QRect frame = panel->frameGeometry();
    QPoint place(frame.center().x() - size.width() / 2, frame.top());
    if (const QScreen* screen = panel->screen()) {
        const QRect area = screen->availableGeometry();
        place.setX(std::clamp(place.x(), area.left(),
                              std::max(area.left(), area.right() + 1 - size.width())));
        place.setY(std::clamp(place.y(), area.top(),
                              std::max(area.top(), area.bottom() + 1 - size.height())));
    }
    dialog.move(place);
}

}  // namespace pivana
