#pragma once

#include "app/HandOff.h"

#include <QObject>

#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace pivana {

/// One Pivana a user and display: a later `pivana` hands its files to the running one, which
/// answers whether it took them.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    /// Decides on each hand-off from a later `pivana`.
    using Handler = std::function<HandOffAnswer(const HandOff&)>;

    explicit SingleInstance(Handler handler, QObject* parent = nullptr);

    /// Hands the files to a running instance and returns its answer; none when none runs.
    static std::optional<HandOffAnswer> handOff(const HandOff& handOff);

    /// Starts answering later instances. False when another instance already answers.
    bool listen();

private:
    void answer(QLocalSocket* socket);

    Handler m_handler;
    QLocalServer* m_server;
};

}  // namespace pivana
