#include "engine/ToolRunner.h"

#include "engine/CancelToken.h"
#include "engine/Error.h"
#include "engine/TemporaryFile.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
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
        throw ConversionError::processLaunch(program, errno);
    }
    pipe.read.reset(fds[0]);
    pipe.write.reset(fds[1]);
}

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

    pid_t pid() const { return m_pid; }
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

// Everything the child needs, made before the fork: after it, in a process with other threads,
// only async-signal-safe calls are allowed.
struct ChildSetup {
    std::vector<char*> argv;
    std::vector<char*> envp;
    int nullInput;
    int output;
    int error;
    int execFailure;  // the write end of a pipe that tells the parent why exec failed
    pid_t parent;
};

// In the forked child: a process group of its own, killed when the thread that started it dies,
// default signal handling, the three standard descriptors and no other, then the program.
[[noreturn]] void becomeTool(const ChildSetup& setup) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != setup.parent) {
        ::_exit(127);  // the parent died before the line above: nobody waits for us
    }
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        ::sigaction(signal, &defaults, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::dup2(setup.nullInput, STDIN_FILENO);
    ::dup2(setup.output, STDOUT_FILENO);
    ::dup2(setup.error, STDERR_FILENO);
    // Descriptors the app's libraries opened without close-on-exec stay out of the tool.
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    ::execve(setup.argv[0], setup.argv.data(), setup.envp.data());
    const int reason = errno;
    [[maybe_unused]] const ssize_t written = ::write(setup.execFailure, &reason, sizeof reason);
    ::_exit(127);
}

pid_t spawn(const QString& program, const QStringList& arguments, const QStringList& environment,
            const Pipe& outputPipe, const Pipe& errorPipe) {
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> argumentText = argumentStrings(path, arguments);
    std::vector<QByteArray> environmentText = environmentStrings(environment);
    const Descriptor nullInput(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    Pipe execFailure;
    openPipe(execFailure, program);
    const ChildSetup setup{pointersTo(argumentText),
                           pointersTo(environmentText),
                           nullInput.get(),
                           outputPipe.write.get(),
                           errorPipe.write.get(),
                           execFailure.write.get(),
                           ::getpid()};

    const pid_t pid = ::fork();
    if (pid < 0) {
        throw ConversionError::processLaunch(program, errno);
    }
    if (pid == 0) {
        becomeTool(setup);
    }
    // Also here, so the group exists before anyone signals it, whoever runs first.
    ::setpgid(pid, pid);
    execFailure.write.reset();
    int reason = 0;
    ssize_t n;
    while ((n = ::read(execFailure.read.get(), &reason, sizeof reason)) < 0 && errno == EINTR) {
    }
    if (n == sizeof reason) {
        Child(pid).wait();
        throw ConversionError::processLaunch(program, reason);
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

// The resident memory of a running process, in bytes; 0 when it cannot be read.
std::uint64_t residentBytes(pid_t pid) {
    char path[32];
    std::snprintf(path, sizeof path, "/proc/%d/statm", static_cast<int>(pid));
    std::FILE* statm = std::fopen(path, "re");
    if (!statm) {
        return 0;
    }
    unsigned long long size = 0;
    unsigned long long resident = 0;
    const int read = std::fscanf(statm, "%llu %llu", &size, &resident);
    std::fclose(statm);
    return read == 2 ? resident * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE)) : 0;
}

enum class PumpEnd { Closed, TimedOut, OverMemory, Cancelled };

// Often enough that a runaway allocation is caught a few hundred megabytes past the limit.
constexpr std::chrono::milliseconds memoryWatchInterval{100};

// How long the next poll may wait: until the deadline, and no longer than the memory watch's
// interval. -1 waits for the pipes (or the cancel token) alone.
int pollWait(const ProcessOptions& options, std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    int waitMs = options.memoryLimit > 0 ? static_cast<int>(memoryWatchInterval.count()) : -1;
    if (options.timeout.count() > 0) {
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        const int untilDeadline = static_cast<int>(std::max<long long>(0, left));
        waitMs = waitMs < 0 ? untilDeadline : std::min(waitMs, untilDeadline);
    }
    return waitMs;
}

// Drains standard error and standard output together until both close, so a tool that writes
// much to either never blocks on a full pipe; meanwhile watches the time limit, the memory limit
// and the cancel token, and says which ended the wait.
PumpEnd pumpPipes(pid_t pid, int errorFd, int outputFd, const ProcessOptions& options,
                  QByteArray& standardError) {
    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    const int cancelFd = options.cancel ? options.cancel->descriptor() : -1;
    auto nextMemoryCheck = std::chrono::steady_clock::now();
    QByteArray pendingOutput;
    bool errorOpen = true;
    bool outputOpen = true;
    while (errorOpen || outputOpen) {
        pollfd fds[3] = {{errorOpen ? errorFd : -1, POLLIN, 0},
                         {outputOpen ? outputFd : -1, POLLIN, 0},
                         {cancelFd, POLLIN, 0}};
        const int ready = ::poll(fds, 3, pollWait(options, deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (options.cancel && options.cancel->isCancelled()) {
            return PumpEnd::Cancelled;
        }
        if (options.memoryLimit > 0 && std::chrono::steady_clock::now() >= nextMemoryCheck) {
            if (residentBytes(pid) > options.memoryLimit) {
                return PumpEnd::OverMemory;
            }
            nextMemoryCheck = std::chrono::steady_clock::now() + memoryWatchInterval;
        }
        if (options.timeout.count() > 0 && std::chrono::steady_clock::now() >= deadline) {
            return PumpEnd::TimedOut;
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
    return PumpEnd::Closed;
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
    if (options.cancel) {
        options.cancel->throwIfCancelled();
    }
    Pipe errorPipe;
    Pipe outputPipe;
    openPipe(errorPipe, program);
    openPipe(outputPipe, program);
    Child child(spawn(program, arguments, options.environment, outputPipe, errorPipe));
    // Only the child writes now: the pipes close when it (and whatever it started) is done.
    errorPipe.write.reset();
    outputPipe.write.reset();

    ProcessOutcome outcome;
    const PumpEnd end = pumpPipes(child.pid(), errorPipe.read.get(), outputPipe.read.get(), options,
                                  outcome.standardError);
    if (end != PumpEnd::Closed) {
        child.killGroup();
        outcome.timedOut = end == PumpEnd::TimedOut;
        outcome.overMemory = end == PumpEnd::OverMemory;
        outcome.cancelled = end == PumpEnd::Cancelled;
    }
    const int status = child.wait();
    if (WIFSIGNALED(status) && end == PumpEnd::Closed) {
        outcome.signal = WTERMSIG(status);
    } else if (WIFEXITED(status)) {
        outcome.exitStatus = WEXITSTATUS(status);
    }
    return outcome;
}

namespace {

// What a tool said before it crashed, on lines of its own after the sentence.
QString detailOf(const QString& errorText) {
    const QString trimmed = errorText.trimmed();
    return trimmed.isEmpty() ? QString() : u'\n' + trimmed;
}

}  // namespace

std::optional<Error> toolFailure(const QString& prefix, const ProcessOutcome& outcome) {
    const QString errorText = QString::fromUtf8(outcome.standardError);
    if (outcome.cancelled) {
        return ConversionError::cancelled();
    }
    if (outcome.timedOut) {
        return ConversionError::failure(FailureKind::TimedOut, prefix);
    }
    if (outcome.overMemory) {
        return ConversionError::failure(FailureKind::TooLarge, prefix);
    }
    if (outcome.signal != 0) {
        // The sentence for the user; the signal, and anything the tool said, for a bug report.
        return ConversionError::failure(
            FailureKind::Crashed, prefix,
            QStringLiteral("signal %1").arg(signalName(outcome.signal)) + detailOf(errorText));
    }
    if (outcome.exitStatus != 0) {
        if (errorText.trimmed().isEmpty()) {
            return ConversionError::failure(FailureKind::Unknown, prefix);
        }
        return ConversionError::processFailed(prefix + errorText);
    }
    return std::nullopt;
}

void runTool(const QString& prefix, const QString& program, const QStringList& arguments,
             ProcessOptions options) {
    if (options.timeout.count() == 0) {
        options.timeout = toolTimeLimit;
    }
    if (options.memoryLimit == 0) {
        options.memoryLimit = toolMemoryLimit;
    }
    std::optional<TemporaryDirectory> temporary;
    if (options.privateTemporaryFolder) {
        temporary.emplace();
        // ImageMagick, which libvips calls for a few formats, reads its own variable first.
        options.environment << QStringLiteral("TMPDIR=") + temporary->path()
                            << QStringLiteral("MAGICK_TEMPORARY_PATH=") + temporary->path();
    }
    if (const auto failure = toolFailure(prefix, runProcess(program, arguments, options))) {
        throw *failure;
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
