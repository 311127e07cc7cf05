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

#include <algorithm>
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

// posix_spawn's file actions and attributes for a tool: standard input from /dev/null, the two
// pipes as standard output and error, default signal handling, a process group of its own.
// Released on every way out.
class SpawnSetup {
public:
    SpawnSetup(int outputFd, int errorFd) {
        posix_spawn_file_actions_init(&m_actions);
        posix_spawn_file_actions_addopen(&m_actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&m_actions, outputFd, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&m_actions, errorFd, STDERR_FILENO);

        posix_spawnattr_init(&m_attributes);
        // The child starts with default signal handling, whatever the app ignores or blocks.
        sigset_t defaults;
        sigset_t empty;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigemptyset(&empty);
        posix_spawnattr_setsigdefault(&m_attributes, &defaults);
        posix_spawnattr_setsigmask(&m_attributes, &empty);
        // Its own process group, so a tool that stops answering is ended with everything it
        // started.
        posix_spawnattr_setpgroup(&m_attributes, 0);
        posix_spawnattr_setflags(
            &m_attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&m_actions);
        posix_spawnattr_destroy(&m_attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    const posix_spawn_file_actions_t* actions() const { return &m_actions; }
    const posix_spawnattr_t* attributes() const { return &m_attributes; }

private:
    posix_spawn_file_actions_t m_actions;
    posix_spawnattr_t m_attributes;
};

// The program path, then each argument as UTF-8.
std::vector<QByteArray> argumentStrings(const QByteArray& path, const QStringList& arguments) {
    std::vector<QByteArray> strings;
    strings.reserve(arguments.size() + 1);
    strings.push_back(path);
    for (const QString& argument : arguments) {
        strings.push_back(argument.toUtf8());
    }
    return strings;
}

// The inherited environment, with the caller's additions taking precedence.
std::vector<QByteArray> environmentStrings(const QStringList& additions) {
    std::vector<QByteArray> strings;
    for (const QString& entry : additions) {
        strings.push_back(entry.toUtf8());
    }
    const size_t added = strings.size();
    for (char** inherited = environ; *inherited; ++inherited) {
        const QByteArray entry(*inherited);
        const QByteArray name = entry.left(entry.indexOf('=') + 1);
        const auto overrides = [&name](const QByteArray& addition) {
            return addition.startsWith(name);
        };
        if (std::none_of(strings.begin(), strings.begin() + added, overrides)) {
            strings.push_back(entry);
        }
    }
    return strings;
}

// The null-terminated pointer array exec wants, pointing into `strings` (which must outlive it).
std::vector<char*> pointersTo(std::vector<QByteArray>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (QByteArray& text : strings) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// A started tool, reaped exactly once: by `wait()`, or, should the caller leave early (an output
// callback that throws), killed with its process group and reaped here, so no zombie and no
// orphaned tool is left behind.
class Child {
public:
    explicit Child(pid_t pid) : m_pid(pid) {}
    ~Child() {
        if (m_pid > 0) {
            killGroup();
            wait();
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void killGroup() const { ::kill(-m_pid, SIGKILL); }

    /// Waits for the tool to end and returns its wait status.
    int wait() {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        return status;
    }

private:
    pid_t m_pid;
};

pid_t spawn(const QString& program, const QStringList& arguments, const QStringList& environment,
            const Pipe& outputPipe, const Pipe& errorPipe) {
    const SpawnSetup setup(outputPipe.write.get(), errorPipe.write.get());
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> argumentText = argumentStrings(path, arguments);
    std::vector<QByteArray> environmentText = environmentStrings(environment);
    pid_t pid = 0;
    const int error =
        posix_spawn(&pid, path.constData(), setup.actions(), setup.attributes(),
                    pointersTo(argumentText).data(), pointersTo(environmentText).data());
    if (error != 0) {
        throw Error::processLaunch(program, error);
    }
    return pid;
}

// Reads what the pipe holds; false once it is closed or broken.
bool readSome(int fd, QByteArray& into) {
    char buffer[16384];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
        into.append(buffer, n);
        return true;
    }
    return n < 0 && errno == EINTR;
}

// Hands each complete line to the callback (without its newline) and keeps the unfinished rest.
void deliverLines(QByteArray& pending, const std::function<void(const QByteArray&)>& onLine) {
    qsizetype newline;
    while ((newline = pending.indexOf('\n')) >= 0) {
        if (onLine) {
            onLine(pending.left(newline));
        }
        pending.remove(0, newline + 1);
    }
}

// Drains standard error and standard output together until both close, so a tool that writes
// much to either never blocks on a full pipe. Returns false when the time limit passed first.
bool pumpPipes(int errorFd, int outputFd, const ProcessOptions& options,
               QByteArray& standardError) {
    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    QByteArray pendingOutput;
    bool errorOpen = true;
    bool outputOpen = true;
    while (errorOpen || outputOpen) {
        pollfd fds[2] = {{errorOpen ? errorFd : -1, POLLIN, 0},
                         {outputOpen ? outputFd : -1, POLLIN, 0}};
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
            return false;
        }
        constexpr short readable = POLLIN | POLLHUP | POLLERR;
        if (errorOpen && (fds[0].revents & readable)) {
            errorOpen = readSome(errorFd, standardError);
        }
        if (outputOpen && (fds[1].revents & readable)) {
            outputOpen = readSome(outputFd, pendingOutput);
            deliverLines(pendingOutput, options.onOutputLine);
        }
    }
    return true;
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
    Child child(spawn(program, arguments, options.environment, outputPipe, errorPipe));
    // Only the child writes now: the pipes close when it (and whatever it started) is done.
    errorPipe.write.reset();
    outputPipe.write.reset();

    ProcessOutcome outcome;
    if (!pumpPipes(errorPipe.read.get(), outputPipe.read.get(), options, outcome.standardError)) {
        outcome.timedOut = true;
        child.killGroup();
    }
    const int status = child.wait();
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
