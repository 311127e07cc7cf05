#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;

namespace pivana {

/// One Pivana a user and display: a second `pivana FILE...` hands its files to the running one.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    explicit SingleInstance(QObject* parent = nullptr);

    /// Hands the files (none: just show the panel) to a running instance. False when none runs.
    static bool handOff(const QStringList& files);

    /// Starts answering later instances. False when another instance already answers.
    bool listen();

Q_SIGNALS:
    /// Files from another `pivana` (empty: show the panel).
    void received(const QStringList& files);

private:
    QLocalServer* m_server;
};

}  // namespace pivana
