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
const QString notificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");
const QString showInFolder = QStringLiteral("show-in-folder");

bool serviceAvailable(const QString& name) {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus) {
        return false;
    }
    return bus->isServiceRegistered(name).value() ||
           bus->activatableServiceNames().value().contains(name);
}

void openContainingFolder(const QString& file) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file).absolutePath()));
}

}  // namespace

FreedesktopServices::FreedesktopServices() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(notificationsService, notificationsPath, notificationsService,
                QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)));
    bus.connect(notificationsService, notificationsPath, notificationsService,
                QStringLiteral("NotificationClosed"), this, SLOT(notificationClosed(uint, uint)));
}

void FreedesktopServices::actionInvoked(uint id, const QString& action) {
    if ((action == showInFolder || action == u"default") && m_outputs.contains(id)) {
        revealFiles(m_outputs.value(id));
    }
}

void FreedesktopServices::notificationClosed(uint id, uint) {
    m_outputs.remove(id);
}

bool FreedesktopServices::notificationsAuthorized() {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(notificationsService).value();
}

QString FreedesktopServices::notificationBody(const QString& body,
                                              const QStringList& capabilities) {
    return capabilities.contains(QStringLiteral("body-markup")) ? body.toHtmlEscaped() : body;
}

void FreedesktopServices::postNotification(const QString& title, const QString& body,
                                           const QStringList& outputs) {
    const auto call = [](const QString& method) {
        return QDBusMessage::createMethodCall(notificationsService, notificationsPath,
                                              notificationsService, method);
    };
    // Whether the server reads markup decides how the body is sent; asked each time, since the
    // server can change, and without waiting on the GUI thread.
    auto* capabilities = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(call(QStringLiteral("GetCapabilities"))));
    QObject::connect(
        capabilities, &QDBusPendingCallWatcher::finished, capabilities,
        [this, call, title, body, outputs](QDBusPendingCallWatcher* watcher) {
            watcher->deleteLater();
            const QDBusPendingReply<QStringList> reply = *watcher;
            const QStringList offered = reply.isValid() ? reply.value() : QStringList();
            const bool offersFolder =
                !outputs.isEmpty() && offered.contains(QStringLiteral("actions"));
            QDBusMessage message = call(QStringLiteral("Notify"));
            // Replaces nothing: every call is a notification of its own.
            message << QStringLiteral("Pivana") << 0u << QStringLiteral("pivana") << title
                    << notificationBody(body, offered)
                    // A click on the notification does what its button does.
                    << (offersFolder ? QStringList{QStringLiteral("default"),
                                                   QStringLiteral("Show in folder"), showInFolder,
                                                   QStringLiteral("Show in folder")}
                                     : QStringList())
                    << QVariantMap() << -1;
            auto* posted =
                new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
            connect(posted, &QDBusPendingCallWatcher::finished, this,
                    [this, offersFolder, outputs](QDBusPendingCallWatcher* done) {
                        done->deleteLater();
                        const QDBusPendingReply<uint> id = *done;
                        if (offersFolder && id.isValid()) {
                            m_outputs.insert(id.value(), outputs);
                        }
                    });
        });
}

void FreedesktopServices::revealFiles(const QStringList& files) {
    if (files.isEmpty()) {
        return;
    }
    if (!serviceAvailable(fileManagerService)) {
        openContainingFolder(files.first());
        return;
    }
    QStringList uris;
    for (const QString& file : files) {
        uris << QUrl::fromLocalFile(file).toString();
    }
    QDBusMessage message = QDBusMessage::createMethodCall(
        fileManagerService, QStringLiteral("/org/freedesktop/FileManager1"), fileManagerService,
        QStringLiteral("ShowItems"));
    message << uris << QString();
    // A service can be named yet fail to start or to answer: the folder opens instead.
    auto* shown =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    const QString first = files.first();
    connect(shown, &QDBusPendingCallWatcher::finished, this,
            [first](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (call->isError()) {
                    openContainingFolder(first);
                }
            });
}

}  // namespace pivana
