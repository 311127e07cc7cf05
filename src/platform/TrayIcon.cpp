#include "platform/TrayIcon.h"

#include <QCursor>
#include <QIcon>

namespace pivana {

QtTrayIcon::QtTrayIcon(QObject* parent) : TrayIcon(parent) {
    connect(&m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    Q_EMIT activated();
                }
            });
}

bool QtTrayIcon::hostAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayIcon::show() {
    m_icon.show();
}

void QtTrayIcon::setIcon(const QIcon& icon) {
    m_icon.setIcon(icon);
}

void QtTrayIcon::setToolTip(const QString& text) {
    m_icon.setToolTip(text);
}

void QtTrayIcon::setMenu(QMenu* menu) {
    m_icon.setContextMenu(menu);
}

QRect QtTrayIcon::anchor() const {
    const QRect icon = m_icon.geometry();
    return icon.isValid() ? icon : QRect(QCursor::pos(), QSize(1, 1));
}

}  // namespace pivana
