#pragma once

#include <QObject>

class QSocketNotifier;

namespace pivana {

class CancelToken;

/// SIGINT and SIGTERM for the tray app: while it lives, each arrives as `received()` on the main
/// thread (a self-pipe read by a socket notifier), so the app can quit the ordinary way, with
/// its running batch cancelled and cleaned up, instead of dying where it stands.
class QuitOnSignals : public QObject {
    Q_OBJECT

public:
    explicit QuitOnSignals(QObject* parent = nullptr);
    ~QuitOnSignals() override;

Q_SIGNALS:
    void received();

private:
    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};

/// SIGINT and SIGTERM for the command line: while it lives, the first one cancels `token`, so
/// the batch stops its tools, removes its staging files and reports every file not converted; a
/// second one ends the process at once, as usual.
class CancelOnSignals {
public:
    explicit CancelOnSignals(CancelToken& token);
    ~CancelOnSignals();
    CancelOnSignals(const CancelOnSignals&) = delete;
    CancelOnSignals& operator=(const CancelOnSignals&) = delete;

    /// The signal that cancelled the batch, or 0.
    int caught() const;
};

}  // namespace pivana
