#include "platform/TrayIconWindow.h"

#include "ui/DropRules.h"

#include <QCursor>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace pivana {

namespace {

constexpr int toolTipDelayMs = 700;
// Around the icon, so that it sits in the tray as the other icons do.
constexpr int iconMargin = 2;

}  // namespace

TrayIconWindow::TrayIconWindow(std::function<bool()> accepting)
    : m_accepting(std::move(accepting)) {
    // Qt's xcb platform gives a window of this name what a tray icon needs: the tray's visual,
    // the tray's background behind a see-through icon, and no mapping of its own until the tray
    // has embedded it. It is the name Qt gives the window of its own tray icon.
    setObjectName(QStringLiteral("QSystemTrayIconSysWindow"));
    setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    // Told apart from the panel, whose title is the app's name alone.
    setTitle(QStringLiteral("Tray icon"));
    // Trays size an icon from its size hints: without a minimum, some give it no width at all.
    const QSize traySize(22, 22);
    setMinimumSize(traySize);
    resize(traySize);
    m_toolTipDelay.setSingleShot(true);
    m_toolTipDelay.setInterval(toolTipDelayMs);
    connect(&m_toolTipDelay, &QTimer::timeout, this, [this] {
        if (!m_toolTip.isEmpty()) {
            QToolTip::showText(QCursor::pos(), m_toolTip);
        }
    });
}

void TrayIconWindow::setIcon(const QIcon& icon) {
    m_icon = icon;
    update();
}

void TrayIconWindow::setToolTip(const QString& text) {
    m_toolTip = text;
    if (text.isEmpty()) {
        m_toolTipDelay.stop();
        QToolTip::hideText();
    }
}

void TrayIconWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(QRect(QPoint(0, 0), size()), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const int side = std::min(width(), height()) - 2 * iconMargin;
    const QRect square((width() - side) / 2, (height() - side) / 2, side, side);
    m_icon.paint(&painter, square);
}

void TrayIconWindow::mousePressEvent(QMouseEvent* event) {
    m_toolTipDelay.stop();
    QToolTip::hideText();
    Q_EMIT pressed(event->button(), event->globalPosition().toPoint());
}

// Only a copy is offered, and only for a drag with file locations in it while the app takes
// drops; a drop is checked again, since a source may drop what was refused.
QStringList TrayIconWindow::takenFiles(const QDropEvent& event) const {
    if (!(event.possibleActions() & Qt::CopyAction) || !m_accepting()) {
        return {};
    }
    return DropRules::localFiles(event.mimeData()->urls());
}

bool TrayIconWindow::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (takenFiles(*drag).isEmpty()) {
                drag->ignore();
            } else {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList files = takenFiles(*drop);
            if (files.isEmpty()) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            // The source hears the answer first; opening the panel can take a moment.
            QMetaObject::invokeMethod(
                this, [this, files] { Q_EMIT dropped(files); }, Qt::QueuedConnection);
            return true;
        }
        case QEvent::Enter:
            m_toolTipDelay.start();
            break;
        case QEvent::Leave:
            m_toolTipDelay.stop();
            QToolTip::hideText();
            break;
        default:
            break;
    }
    return QRasterWindow::event(event);
}

}  // namespace pivana
