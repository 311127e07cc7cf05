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

constexpr int connectTimeoutMs = 3000;
// The running app answers once it has acted on the files, which includes opening the panel:
// seconds on a busy machine.
constexpr int answerTimeoutMs = 30000;

// A request is its kind, then the format and the files of a hand-off; the answer is whether
// the files were taken, then why not.
const QString pingKind = QStringLiteral("ping");  // asks whether an instance answers
const QString handOffKind = QStringLiteral("hand-off");

std::optional<HandOffAnswer> request(const QString& kind, const HandOff& handOff) {
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(connectTimeoutMs)) {
        return std::nullopt;
    }
    QDataStream stream(&socket);
    stream << kind << handOff.format << handOff.files;
    socket.flush();
    while (socket.waitForReadyRead(answerTimeoutMs)) {
        HandOffAnswer answer;
        stream.startTransaction();
        stream >> answer.taken >> answer.reason;
        if (stream.commitTransaction()) {
            return answer;
        }
    }
    return std::nullopt;
}

}  // namespace

SingleInstance::SingleInstance(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)), m_server(new QLocalServer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
        }
    });
}

void SingleInstance::answer(QLocalSocket* socket) {
    QDataStream stream(socket);
    stream.startTransaction();
    QString kind;
    HandOff handOff;
    stream >> kind >> handOff.format >> handOff.files;
    if (!stream.commitTransaction()) {
        return;  // the rest is still on its way
    }
    const HandOffAnswer answer = kind == handOffKind ? m_handler(handOff) : HandOffAnswer{};
    stream << answer.taken << answer.reason;
    socket->flush();
}

std::optional<HandOffAnswer> SingleInstance::handOff(const HandOff& handOff) {
    return request(handOffKind, handOff);
}

bool SingleInstance::listen() {
    if (m_server->listen(serverName())) {
        return true;
    }
    // A socket left by an instance that crashed answers nobody: take its place.
    if (!request(pingKind, {})) {
        QLocalServer::removeServer(serverName());
        return m_server->listen(serverName());
    }
    return false;
}

}  // namespace pivana
