#include "platform/FreedesktopServices.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
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

QString FreedesktopServices::notificationBody(const QString& body,
                                              const QStringList& capabilities) {
    return capabilities.contains(QStringLiteral("body-markup")) ? body.toHtmlEscaped() : body;
}

void FreedesktopServices::postNotification(const QString& title, const QString& body) {
    const auto call = [](const QString& method) {
        return QDBusMessage::createMethodCall(notificationsService,
                                              QStringLiteral("/org/freedesktop/Notifications"),
                                              notificationsService, method);
    };
    // Whether the server reads markup decides how the body is sent; asked each time, since the
    // server can change, and without waiting on the GUI thread.
    auto* capabilities = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(call(QStringLiteral("GetCapabilities"))));
    QObject::connect(
        capabilities, &QDBusPendingCallWatcher::finished, capabilities,
        [call, title, body](QDBusPendingCallWatcher* watcher) {
            const QDBusPendingReply<QStringList> reply = *watcher;
            QDBusMessage message = call(QStringLiteral("Notify"));
            // Replaces nothing: every call is a notification of its own.
            message << QStringLiteral("Pivana") << 0u << QStringLiteral("pivana") << title
                    << notificationBody(body, reply.isValid() ? reply.value() : QStringList())
                    << QStringList() << QVariantMap() << -1;
            QDBusConnection::sessionBus().asyncCall(message);
            watcher->deleteLater();
        });
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
