#include "ui/AppState.h"

namespace pivana {

AppState::AppState(DesktopServices& services, QObject* parent)
    : QObject(parent), m_services(services) {}

void AppState::setConverting(bool converting) {
    if (m_converting != converting) {
        m_converting = converting;
        Q_EMIT isConvertingChanged();
    }
}

void AppState::setPanelVisible(bool visible) {
    if (m_panelVisible != visible) {
        m_panelVisible = visible;
        Q_EMIT panelVisibleChanged();
    }
}

bool AppState::dropFiles(const QStringList& files) {
    if (files.isEmpty() || m_converting) {
        return false;
    }
    Q_EMIT filesDropped(files);
    return true;
}

void AppState::notify(const QString& title, const QString& body, const QStringList& outputs) {
    m_services.postNotification(title, body, outputs);
}

void AppState::notifyOrReveal(const QString& title, const QString& body,
                              const QStringList& fallbackFiles, bool revealAllowed) {
    if (m_services.notificationsAuthorized()) {
        notify(title, body, fallbackFiles);
    } else if (revealAllowed && !fallbackFiles.isEmpty()) {
        m_services.revealFiles(fallbackFiles);
    }
}

}  // namespace pivana
