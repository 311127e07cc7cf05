#include "ui/Theme.h"

#include <QEvent>
#include <QGuiApplication>

namespace pivana {

Theme::Theme(QObject* parent)
    : QObject(parent), m_colours(themeColours(QGuiApplication::palette())) {
    qApp->installEventFilter(this);
}

bool Theme::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) {
        m_colours = themeColours(QGuiApplication::palette());
        Q_EMIT changed();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace pivana
