#include "engine/ToolRunner.h"

#include "engine/Error.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <cerrno>
#include <cstring>
#include <vector>

extern char** environ;

namespace pivana {

namespace {

// Closes a descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    void reset(int fd = -1) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }

private:
    int m_fd;
};

struct Pipe {
    Descriptor read;
    Descriptor write;
};

void openPipe(Pipe& pipe, const QString& program) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw Error::processLaunch(program, errno);
    }
    pipe.read.reset(fds[0]);
    pipe.write.reset(fds[1]);
}

QString signalName(int number) {
    const char* abbreviation = sigabbrev_np(number);
    const QString description = QString::fromLocal8Bit(strsignal(number));
    if (abbreviation) {
        return QStringLiteral("SIG%1 (%2)").arg(QString::fromLatin1(abbreviation), description);
    }
    return QStringLiteral("%1 (%2)").arg(number).arg(description);
}

QMutex toolDirectoryMutex;
QString toolDirectoryOverride;

QString executableDirectory() {
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

}  // namespace

ProcessOutcome runProcess(const QString& program, const QStringList& arguments,
                          const ProcessOptions& options) {
    Pipe errorPipe;
    Pipe outputPipe;
    openPipe(errorPipe, program);
    openPipe(outputPipe, program);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outputPipe.write.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errorPipe.write.get(), STDERR_FILENO);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The child starts with default signal handling, whatever the app ignores or blocks.
    sigset_t defaults;
    sigset_t empty;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigemptyset(&empty);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &empty);
    // Its own process group, so a tool that stops answering is ended with everything it started.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> storage;
    storage.reserve(arguments.size() + 1);
    storage.push_back(path);
    for (const QString& argument : arguments) {
        storage.push_back(argument.toUtf8());
    }
    std::vector<char*> argv;
    for (QByteArray& item : storage) {
        argv.push_back(item.data());
    }
    argv.push_back(nullptr);

    // The inherited environment, with the caller's additions taking precedence.
    std::vector<QByteArray> environmentStorage;
    for (const QString& entry : options.environment) {
        environmentStorage.push_back(entry.toUtf8());
    }
    std::vector<char*> environment;
    for (QByteArray& entry : environmentStorage) {
        environment.push_back(entry.data());
    }
    for (char** inherited = environ; *inherited; ++inherited) {
        const QByteArray entry(*inherited);
        const QByteArray name = entry.left(entry.indexOf('=') + 1);
        bool overridden = false;
        for (const QByteArray& added : environmentStorage) {
            overridden = overridden || added.startsWith(name);
        }
        if (!overridden) {
            environment.push_back(*inherited);
        }
    }
    environment.push_back(nullptr);

    pid_t pid = 0;
    const int spawnError =
        posix_spawn(&pid, path.constData(), &actions, &attributes, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawnError != 0) {
        throw Error::processLaunch(program, spawnError);
    }
    errorPipe.write.reset();
    outputPipe.write.reset();

    ProcessOutcome outcome;
    QByteArray pendingOutput;
    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    bool errorOpen = true;
    bool outputOpen = true;
    while (errorOpen || outputOpen) {
        pollfd fds[2] = {{errorOpen ? errorPipe.read.get() : -1, POLLIN, 0},
                         {outputOpen ? outputPipe.read.get() : -1, POLLIN, 0}};
        int waitMs = -1;
        if (options.timeout.count() > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            waitMs = static_cast<int>(std::max<long long>(0, left.count()));
        }
        const int ready = ::poll(fds, 2, waitMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready == 0) {
            outcome.timedOut = true;
            ::kill(-pid, SIGKILL);
            break;
        }
        char buffer[16384];
        if (errorOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = ::read(errorPipe.read.get(), buffer, sizeof buffer);
            if (n > 0) {
                outcome.standardError.append(buffer, n);
            } else if (n == 0 || errno != EINTR) {
                errorOpen = false;
            }
        }
        if (outputOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = ::read(outputPipe.read.get(), buffer, sizeof buffer);
            if (n > 0) {
                pendingOutput.append(buffer, n);
                qsizetype newline;
                while ((newline = pendingOutput.indexOf('\n')) >= 0) {
                    if (options.onOutputLine) {
                        options.onOutputLine(pendingOutput.left(newline));
                    }
                    pendingOutput.remove(0, newline + 1);
                }
            } else if (n == 0 || errno != EINTR) {
                outputOpen = false;
            }
        }
    }

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) {
        outcome.signal = outcome.timedOut ? 0 : WTERMSIG(status);
    } else if (WIFEXITED(status)) {
        outcome.exitStatus = WEXITSTATUS(status);
    }
    return outcome;
}

void runTool(const QString& prefix, const QString& program, const QStringList& arguments,
             const ProcessOptions& options) {
    const ProcessOutcome outcome = runProcess(program, arguments, options);
    const QString errorText = QString::fromUtf8(outcome.standardError);
    if (outcome.timedOut) {
        throw ConversionError::processFailed(
            prefix +
            QStringLiteral("gave no answer in %1 seconds and was stopped")
                .arg(std::chrono::duration_cast<std::chrono::seconds>(options.timeout).count()));
    }
    if (outcome.signal != 0) {
        QString message =
            prefix + QStringLiteral("crashed with signal %1").arg(signalName(outcome.signal));
        if (!errorText.trimmed().isEmpty()) {
            message += u'\n' + errorText;
        }
        throw ConversionError::processFailed(message);
    }
    if (outcome.exitStatus != 0) {
        // The tool's own words when it has any; a bare prefix would tell the user nothing.
        throw ConversionError::processFailed(
            prefix + (errorText.trimmed().isEmpty()
                          ? QStringLiteral("exited with status %1").arg(outcome.exitStatus)
                          : errorText));
    }
}

void setToolDirectory(const QString& directory) {
    QMutexLocker lock(&toolDirectoryMutex);
    toolDirectoryOverride = directory;
}

QString toolPath(const QString& name) {
    QStringList folders;
    {
        QMutexLocker lock(&toolDirectoryMutex);
        if (!toolDirectoryOverride.isEmpty()) {
            folders << toolDirectoryOverride;
        }
    }
    const QString here = executableDirectory();
    folders << here << QDir(here).filePath(QStringLiteral("../libexec/pivana"));
    for (const QString& folder : folders) {
        const QFileInfo candidate(QDir(folder).filePath(name));
        if (candidate.isFile() && candidate.isExecutable()) {
            return candidate.absoluteFilePath();
        }
    }
    throw ConversionError::processFailed(
        QStringLiteral("%1 is missing: it should be installed beside pivana or in libexec/pivana")
            .arg(name));
}

}  // namespace pivana
