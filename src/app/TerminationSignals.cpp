#include "app/TerminationSignals.h"

#include "engine/CancelToken.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <csignal>

namespace pivana {

namespace {

// A signal handler reaches nothing but globals; these are the only ones, each set while its
// object lives.
int quitPipe = -1;
CancelToken* cancelledBySignal = nullptr;
volatile std::sig_atomic_t caughtSignal = 0;

void handle(int signal, void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
}

void restoreDefaults() {
    handle(SIGINT, SIG_DFL, 0);
    handle(SIGTERM, SIG_DFL, 0);
}

}  // namespace

QuitOnSignals::QuitOnSignals(QObject* parent) : QObject(parent) {
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;  // signals keep their default: the app ends where it stands
    }
    quitPipe = m_pipe[1];
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char signal;
        while (::read(m_pipe[0], &signal, 1) > 0) {
        }
        Q_EMIT received();
    });
    const auto writeToPipe = [](int signal) {
        const char byte = static_cast<char>(signal);
        [[maybe_unused]] const ssize_t written = ::write(quitPipe, &byte, 1);
    };
    handle(SIGINT, writeToPipe, SA_RESTART);
    handle(SIGTERM, writeToPipe, SA_RESTART);
}

QuitOnSignals::~QuitOnSignals() {
    restoreDefaults();
    quitPipe = -1;
    for (const int fd : m_pipe) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

CancelOnSignals::CancelOnSignals(CancelToken& token) {
    cancelledBySignal = &token;
    caughtSignal = 0;
    const auto cancel = [](int signal) {
        caughtSignal = signal;
        cancelledBySignal->cancel();
    };
    // Reset to the default after the first: a second Ctrl-C ends the process at once.
    handle(SIGINT, cancel, SA_RESTART | SA_RESETHAND);
    handle(SIGTERM, cancel, SA_RESTART | SA_RESETHAND);
}

CancelOnSignals::~CancelOnSignals() {
    restoreDefaults();
    cancelledBySignal = nullptr;
}

int CancelOnSignals::caught() const {
    return caughtSignal;
}

}  // namespace pivana
