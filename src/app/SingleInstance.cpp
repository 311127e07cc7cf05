#include "app/SingleInstance.h"

#include <unistd.h>

#include <QDataStream>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>

namespace pivana {

namespace {

// One instance per user and display: a second X server (a nested or test session) gets its own.
QString serverName() {
    QString display = qEnvironmentVariable("DISPLAY", qEnvironmentVariable("WAYLAND_DISPLAY"));
    display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")), QStringLiteral("_"));
    return QStringLiteral("pivana-%1-%2").arg(::getuid()).arg(display);
}

constexpr int timeoutMs = 3000;
// Asks whether an instance answers, without showing anything.
const QString pingMessage = QStringLiteral("--ping");

}  // namespace

SingleInstance::SingleInstance(QObject* parent)
    : QObject(parent), m_server(new QLocalServer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                QDataStream stream(socket);
                stream.startTransaction();
                QStringList files;
                stream >> files;
                if (!stream.commitTransaction()) {
                    return;  // the rest is still on its way
                }
                socket->write("ok");
                socket->flush();
                if (files != QStringList{pingMessage}) {
                    Q_EMIT received(files);
                }
            });
        }
    });
}

bool SingleInstance::handOff(const QStringList& files) {
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    QDataStream stream(&socket);
    stream << files;
    socket.flush();
    // Wait for the answer, so the files are known to have arrived.
    return socket.waitForReadyRead(timeoutMs) && socket.readAll() == "ok";
}

bool SingleInstance::listen() {
    if (m_server->listen(serverName())) {
        return true;
    }
    // A socket left by an instance that crashed answers nobody: take its place.
    if (!handOff({pingMessage})) {
        QLocalServer::removeServer(serverName());
        return m_server->listen(serverName());
    }
    return false;
}

}  // namespace pivana
