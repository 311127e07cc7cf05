// Where and how LibreOffice runs: a long-running office on a private profile in the user's cache
// folder, reached through office-bridge.py, and an office of its own for a document the
// long-running one failed on. Nothing of either is ever put in the user's folders or the
// temporary folder.
#include "OfficeRunner.h"

#include "engine/ToolRunner.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>

namespace pivana::office {

namespace {

using namespace std::chrono_literals;

// Generous: a long document on a slow machine takes a minute; a hung office never ends. The
// office's time grows faster than a document's size (a text of megabytes in one paragraph takes
// it minutes), so the budget leaves room per megabyte.
constexpr auto baseTime = 60s;
constexpr auto timePerMegabyte = 40s;
// What the office may take to start, on top of the documents' budgets.
constexpr auto startTime = 90s;
const QString officeProgram = QStringLiteral("/usr/lib/libreoffice/program/soffice.bin");
// The system's Python, which has LibreOffice's UNO bindings.
const QString pythonProgram = QStringLiteral("/usr/bin/python3");
// Below this, a failing office is taken to have run out of disk space.
constexpr unsigned long long nearlyFull = 16ULL << 20;

QString profileDirectory() {
    return QDir(cacheFolder()).filePath(QStringLiteral("libreoffice"));
}

// Conversions on the private profile take turns: two offices on one profile lose work. The
// office's idle watcher takes the lock too, so it never ends an office that is converting.
class ProfileLock {
public:
    explicit ProfileLock(const QString& profile) {
        QDir().mkpath(QFileInfo(profile).absolutePath());
        m_fd = ::open(QFile::encodeName(profile + QStringLiteral(".lock")).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0 || ::flock(m_fd, LOCK_EX) != 0) {
            const int error = errno;
            throw failure(error == ENOSPC ? FailureKind::DiskFull : FailureKind::DiskError,
                          QStringLiteral("cannot lock the office profile: ") +
                              QString::fromLocal8Bit(std::strerror(error)));
        }
    }
    ~ProfileLock() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;

private:
    int m_fd = -1;
};

bool diskNearlyFull() {
    struct statvfs space {};
    return ::statvfs(QFile::encodeName(cacheFolder()).constData(), &space) == 0 &&
           static_cast<unsigned long long>(space.f_bavail) * space.f_frsize < nearlyFull;
}

// Why an office that should have run did not: on a full disk LibreOffice cannot set up its
// profile, and says "Fatal Error" in a dialog nobody sees.
Failure officeTrouble(const QString& detail) {
    if (diskNearlyFull()) {
        return failure(FailureKind::DiskFull, detail);
    }
    return failure(officeDidNotStart, detail);
}

QString firstLine(const QByteArray& text) {
    for (const QByteArray& line : text.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !trimmed.startsWith("Warning: failed to launch javaldx")) {
            return QString::fromUtf8(trimmed);
        }
    }
    return {};
}

void requireOffice() {
    if (!QFileInfo(officeProgram).isExecutable()) {
        throw failure(officeMissing, officeProgram);
    }
}

// Tests shorten every time limit of the office by this factor.
double timeScale() {
    bool given = false;
    const double scale = qEnvironmentVariable("PIVANA_OFFICE_TIME_SCALE").toDouble(&given);
    return given && scale > 0 ? scale : 1.0;
}

Failure timedOut() {
    return failure(FailureKind::TimedOut, QStringLiteral("LibreOffice was stopped"));
}

bool resultWritten(const QString& result) {
    const QFileInfo info(result);
    return info.isFile() && info.size() > 0;
}

// A conversion on the office's own command line, on a new profile in the work folder: the shared
// one may still belong to an office on its way out. The office's temporary files go to the work
// folder too.
void runOfficeOnce(const OfficeJob& job, const WorkFolder& work) {
    requireOffice();
    const QString profile = work.filePath(QStringLiteral("cold-profile"));
    const QString outFolder = work.filePath(QStringLiteral("cold-out"));
    const QString temporary = work.filePath(QStringLiteral("cold-tmp"));
    QDir().mkpath(outFolder);
    QDir().mkpath(temporary);
    const QStringList arguments = {
        QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(),
        "--headless",
        "--invisible",
        "--norestore",
        "--nologo",
        "--nodefault",
        "--nolockcheck",
        "--infilter=" + job.importFilter,
        "--convert-to",
        job.extension + u':' + job.exportFilter,
        "--outdir",
        outFolder,
        job.source};
    ProcessOptions options;
    options.timeout = startTime + job.budget;
    options.environment = {QStringLiteral("TMPDIR=") + temporary};
    // On a new profile the office sets it up, exits with this status and wants to be started
    // again (its launcher script would do that for us).
    constexpr int restartRequested = 81;
    ProcessOutcome outcome = runProcess(officeProgram, arguments, options);
    for (int attempt = 0; attempt < 2 && outcome.exitStatus == restartRequested; ++attempt) {
        outcome = runProcess(officeProgram, arguments, options);
    }
    if (outcome.timedOut) {
        throw timedOut();
    }
    const QString written =
        QDir(outFolder).filePath(QFileInfo(job.source).completeBaseName() + u'.' + job.extension);
    const QString said = firstLine(outcome.standardError);
    if (outcome.signal != 0) {
        throw failure(FailureKind::Crashed, said);
    }
    if (said.contains(u"Fatal Error") || said.contains(u"could not be completed")) {
        throw officeTrouble(said);
    }
    if (!resultWritten(written)) {
        if (said.contains(u"could not be loaded")) {
            throw failure(FailureKind::Damaged, said);
        }
        throw failure(officeFailed, said);
    }
    if (::rename(QFile::encodeName(written).constData(),
                 QFile::encodeName(job.result).constData()) != 0) {
        throw failure(FailureKind::DiskError, QString::fromLocal8Bit(std::strerror(errno)));
    }
}

// The jobs file office-bridge.py reads: one job a line, its fields separated by tabs.
QString writeJobs(const std::vector<OfficeJob>& jobs, const WorkFolder& work) {
    const QString path = work.filePath(QStringLiteral("jobs"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        throw failure(FailureKind::DiskFull, file.errorString());
    }
    for (const OfficeJob& job : jobs) {
        const QString filter = job.exportFilter.section(u':', 0, 0);
        const QString options = job.exportFilter.section(u':', 1);
        const QStringList fields = {job.source, job.importFilter, job.result, filter, options};
        if (file.write((fields.join(u'\t') + u'\n').toUtf8()) < 0) {
            throw failure(FailureKind::DiskFull, file.errorString());
        }
    }
    return path;
}

// The failure a line of office-bridge.py reports for a job, or none. Sets `retry` when the job
// deserves a second chance in an office of its own.
std::optional<Failure> bridgeOutcome(const QString& line, const QString& result, bool& retry) {
    retry = false;
    if (line == u"ok" && resultWritten(result)) {
        return std::nullopt;
    }
    if (line == u"unreadable") {
        return failure(FailureKind::Damaged, QStringLiteral("LibreOffice cannot read it"));
    }
    if (line.startsWith(u"failed LibreOffice did not start")) {
        return officeTrouble(line.mid(7));
    }
    // The long-running office failed on a document it could read (it may have crashed on it).
    retry = true;
    return failure(officeFailed, line.section(u' ', 1));
}

}  // namespace

std::chrono::milliseconds timeBudget(qint64 bytes) {
    const double budget = std::chrono::duration<double>(baseTime).count() +
                          std::chrono::duration<double>(timePerMegabyte).count() *
                              static_cast<double>(bytes) / (1 << 20);
    return std::chrono::milliseconds(static_cast<qint64>(budget * 1000 * timeScale()));
}

QString cacheFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
        .filePath(QStringLiteral("pivana"));
}

namespace {

// Removes the folders of `parent` whose lock nobody holds any more: what runs killed on the way
// left behind.
void removeAbandoned(const QString& parent, const QString& pattern, int minimumAgeSeconds) {
    QDirIterator left(parent, {pattern}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    while (left.hasNext()) {
        const QString folder = left.next();
        const int fd =
            ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const qint64 age = QFileInfo(folder).lastModified().secsTo(QDateTime::currentDateTime());
        if (fd >= 0 && age >= minimumAgeSeconds && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            QDir(folder).removeRecursively();
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

}  // namespace

WorkFolder::WorkFolder() {
    const QString cache = cacheFolder();
    const QString parent = QDir(cache).filePath(QStringLiteral("office-work"));
    if (!QDir().mkpath(parent)) {
        throw failure(diskNearlyFull() ? FailureKind::DiskFull : FailureKind::WriteDenied,
                      QStringLiteral("cannot make ") + parent);
    }
    // A folder is made and locked under a name of its own, and only then moved among the work
    // folders, so that every folder there whose lock is free is abandoned. One made but never
    // moved is abandoned once it is a minute old.
    removeAbandoned(parent, QStringLiteral("*"), 0);
    removeAbandoned(cache, QStringLiteral(".office-work-*"), 60);
    QByteArray name =
        QFile::encodeName(QDir(cache).filePath(QStringLiteral(".office-work-XXXXXX")));
    if (!::mkdtemp(name.data())) {
        throw failure(errno == ENOSPC ? FailureKind::DiskFull : FailureKind::WriteDenied,
                      QString::fromLocal8Bit(std::strerror(errno)));
    }
    m_lock = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_lock >= 0) {
        ::flock(m_lock, LOCK_EX);
    }
    m_path = QDir(parent).filePath(QFileInfo(QFile::decodeName(name)).fileName().mid(13));
    if (::rename(name.constData(), QFile::encodeName(m_path).constData()) != 0) {
        m_path = QFile::decodeName(name);
    }
}

WorkFolder::~WorkFolder() {
    QDir(m_path).removeRecursively();
    if (m_lock >= 0) {
        ::close(m_lock);
    }
}

QString WorkFolder::filePath(const QString& name) const {
    return QDir(m_path).filePath(name);
}

namespace {

// Ends the office kept running on the profile, as one that hangs on a document.
void endOffice() {
    QFile recorded(profileDirectory() + QStringLiteral(".pid"));
    if (!recorded.open(QIODevice::ReadOnly)) {
        return;
    }
    const pid_t pid = recorded.readAll().trimmed().toInt();
    QFile command(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (pid > 0 && command.open(QIODevice::ReadOnly) && command.readAll().contains("soffice")) {
        ::kill(pid, SIGKILL);
    }
}

// The office cannot be told to give up on a document: when one takes longer than its budget,
// the office is ended (the bridge then reports the document stopped and goes on with the next
// in a new office), and the document fails as having taken too long.
class Watchdog {
public:
    explicit Watchdog(const std::vector<OfficeJob>& jobs)
        : m_jobs(jobs), m_timedOut(jobs.size(), false) {
        start(0);
        m_thread = std::thread([this] { watch(); });
    }
    ~Watchdog() {
        {
            const std::lock_guard<std::mutex> guard(m_mutex);
            m_finished = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    /// The bridge has begun job `index` (or, past the last, is done).
    void start(size_t index) {
        const std::lock_guard<std::mutex> guard(m_mutex);
        m_current = index;
        if (index < m_jobs.size()) {
            // The first document, and one after an office was ended, waits for an office to
            // start as well.
            const bool officeStarts = index == 0 || m_timedOut[index - 1];
            m_deadline = std::chrono::steady_clock::now() + m_jobs[index].budget +
                         (officeStarts ? std::chrono::duration_cast<std::chrono::milliseconds>(
                                             startTime * timeScale())
                                       : std::chrono::milliseconds(0));
        }
        m_wake.notify_all();
    }
    bool timedOut(size_t index) const {
        const std::lock_guard<std::mutex> guard(m_mutex);
        return m_timedOut[index];
    }

private:
    void watch() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_finished) {
            if (m_current < m_jobs.size() && std::chrono::steady_clock::now() >= m_deadline &&
                !m_timedOut[m_current]) {
                m_timedOut[m_current] = true;
                endOffice();
            }
            m_wake.wait_for(lock, 100ms);
        }
    }

    const std::vector<OfficeJob>& m_jobs;
    std::vector<bool> m_timedOut;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    size_t m_current = 0;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_finished = false;
    std::thread m_thread;
};

}  // namespace

void runJobs(const std::vector<OfficeJob>& jobs, const WorkFolder& work,
             const std::function<void(size_t, const std::optional<Failure>&)>& done) {
    requireOffice();
    ProfileLock lock(profileDirectory());
    std::vector<size_t> retries;
    size_t next = 0;
    Watchdog watchdog(jobs);
    ProcessOptions options;
    options.timeout = std::chrono::milliseconds(startTime);
    for (const OfficeJob& job : jobs) {
        options.timeout += job.budget;
    }
    options.onOutputLine = [&](const QByteArray& line) {
        if (next >= jobs.size()) {
            return;
        }
        const size_t index = next++;
        watchdog.start(next);
        bool retry = false;
        const std::optional<Failure> failure =
            watchdog.timedOut(index)
                ? std::optional(timedOut())
                : bridgeOutcome(QString::fromUtf8(line), jobs[index].result, retry);
        if (retry) {
            retries.push_back(index);
        } else {
            done(index, failure);
        }
    };
    const ProcessOutcome outcome =
        runProcess(pythonProgram,
                   {toolPath(QStringLiteral("office-bridge.py")), QStringLiteral("convert"),
                    profileDirectory(), writeJobs(jobs, work)},
                   options);
    // Jobs the bridge never reported on (it was stopped, or died): each in an office of its own.
    for (; next < jobs.size(); ++next) {
        retries.push_back(next);
    }
    if (outcome.timedOut) {
        for (const size_t index : retries) {
            done(index, timedOut());
        }
        return;
    }
    for (const size_t index : retries) {
        if (watchdog.timedOut(index)) {
            done(index, timedOut());
            continue;
        }
        try {
            runOfficeOnce(jobs[index], work);
            done(index, std::nullopt);
        } catch (const Failure& error) {
            done(index, error);
        }
    }
}

}  // namespace pivana::office
