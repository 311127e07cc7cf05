#include "platform/FreedesktopServices.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <QVariantMap>

namespace pivana {

namespace {

const QString notificationsService = QStringLiteral("org.freedesktop.Notifications");
const QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");

bool serviceAvailable(const QString& name) {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus) {
        return false;
    }
    return bus->isServiceRegistered(name).value() ||
           bus->activatableServiceNames().value().contains(name);
}

}  // namespace

bool FreedesktopServices::notificationsAuthorized() {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(notificationsService).value();
}

void FreedesktopServices::postNotification(const QString& title, const QString& body) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        notificationsService, QStringLiteral("/org/freedesktop/Notifications"),
        notificationsService, QStringLiteral("Notify"));
    // Replaces nothing: every call is a notification of its own.
    message << QStringLiteral("Pivana") << 0u << QStringLiteral("pivana") << title << body
            << QStringList() << QVariantMap() << -1;
    QDBusConnection::sessionBus().asyncCall(message);
}

void FreedesktopServices::revealFiles(const QStringList& files) {
    if (files.isEmpty()) {
        return;
    }
    if (serviceAvailable(fileManagerService)) {
        QStringList uris;
        for (const QString& file : files) {
            uris << QUrl::fromLocalFile(file).toString();
        }
        QDBusMessage message = QDBusMessage::createMethodCall(
            fileManagerService, QStringLiteral("/org/freedesktop/FileManager1"), fileManagerService,
            QStringLiteral("ShowItems"));
        message << uris << QString();
        QDBusConnection::sessionBus().asyncCall(message);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(files.first()).absolutePath()));
}

}  // namespace pivana
