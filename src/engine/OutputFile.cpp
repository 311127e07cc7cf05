#include "engine/OutputFile.h"

#include "engine/BatchContext.h"
#include "engine/Error.h"
#include "engine/Trash.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace pivana {

namespace {

QString systemReason(int errnum) {
    return QString::fromLocal8Bit(std::strerror(errnum));
}

// A failed write to the output folder, in the words of its kind where it has one.
Error writeFailure(int errnum) {
    if (const auto kind = failureOfErrno(errnum, FileAccess::Writing)) {
        return ConversionError::failure(*kind);
    }
    return ConversionError::processFailed(QStringLiteral("Cannot save the output: ") +
                                          systemReason(errnum));
}

// Whether a staged file is whole as far as its format lets us tell cheaply: a PDF starts with
// its header and ends with its trailer, which a writer cut off by a full disk never reaches.
bool looksComplete(int fd, const QString& path, off_t size) {
    if (!path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive) || size == 0) {
        return true;
    }
    char head[5] = {};
    QByteArray tail(static_cast<qsizetype>(std::min<off_t>(size, 1024)), '\0');
    if (::pread(fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head) ||
        ::pread(fd, tail.data(), static_cast<size_t>(tail.size()), size - tail.size()) !=
            tail.size()) {
        return false;
    }
    return QByteArray(head, sizeof head) == "%PDF-" && tail.contains("startxref") &&
           tail.trimmed().endsWith("%%EOF");
}

// A staging folder is named after the process that owns it, ".pivana-PID-XXXXXX", and locked by
// it for as long as it is in use. One whose owner is gone (killed, or a power cut) is left over,
// and the next conversion into its folder removes it: only when no process of that number runs
// here and nobody holds its lock (the owner may run on another machine that shares the folder).
const QString stagingPrefix = QStringLiteral(".pivana-");

bool abandoned(const QString& folder) {
    bool number = false;
    const pid_t owner =
        QFileInfo(folder).fileName().mid(stagingPrefix.size()).section(u'-', 0, 0).toInt(&number);
    if (!number || owner <= 0 || ::kill(owner, 0) == 0 || errno != ESRCH) {
        return false;
    }
    const int fd = ::open(QFile::encodeName(folder).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return free;
}

// Looks through a folder for left-over staging folders now and then: a batch of many files into
// one large folder would otherwise read it once per file.
void removeAbandonedStaging(const QString& parent) {
    static std::mutex lock;
    static QHash<QString, QDateTime> swept;
    {
        const std::lock_guard<std::mutex> guard(lock);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const auto last = swept.constFind(parent);
        if (last != swept.cend() && last->secsTo(now) < 60) {
            return;
        }
        swept.insert(parent, now);
    }
    const QStringList left = QDir(parent).entryList({stagingPrefix + u'*'},
                                                    QDir::Dirs | QDir::Hidden | QDir::NoSymLinks);
    for (const QString& name : left) {
        const QString folder = QDir(parent).filePath(name);
        if (abandoned(folder)) {
            QDir(folder).removeRecursively();
        }
    }
}

}  // namespace

QString outputFolder(const QString& source, const SettingsSnapshot& settings) {
    if (settings.outputFolderMode == OutputFolderMode::Custom && settings.customOutputFolder &&
        !settings.customOutputFolder->isEmpty()) {
        return *settings.customOutputFolder;
    }
    return QFileInfo(source).absolutePath();
}

QString outputPath(const QString& source, const QString& target, const SettingsSnapshot& settings) {
    const QString name = QFileInfo(source).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString base = dot < 0 ? name : name.left(dot);
    return QDir(outputFolder(source, settings)).filePath(base + u'.' + target);
}

OutputFile::OutputFile(const QString& finalPath, const QString& source, BatchContext& batch)
    : m_finalPath(QFileInfo(finalPath).absoluteFilePath()), m_batch(batch) {
    batch.claimOutput(m_finalPath, source);
    const QFileInfo info(m_finalPath);
    // Fails here, in plain words, before any work: a name the folder cannot take.
    if (QFile::encodeName(info.fileName()).size() > NAME_MAX) {
        throw ConversionError::failure(FailureKind::NameTooLong);
    }
    removeAbandonedStaging(info.absolutePath());
    QByteArray folder = QFile::encodeName(
        QDir(info.absolutePath())
            .filePath(stagingPrefix + QString::number(::getpid()) + QStringLiteral("-XXXXXX")));
    if (!::mkdtemp(folder.data())) {
        throw writeFailure(errno);
    }
    m_stagingFolder = QFile::decodeName(folder);
    m_lock = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_lock >= 0) {
        ::flock(m_lock, LOCK_EX | LOCK_NB);
    }
    m_stagingPath = m_stagingFolder + u'/' + info.fileName();
}

OutputFile::~OutputFile() {
    QDir(m_stagingFolder).removeRecursively();
    if (m_lock >= 0) {
        ::close(m_lock);
    }
}

void OutputFile::prepare() {
    m_batch.throwIfCancelled();
    m_batch.checkSourceUnchanged();
    const int fd = ::open(QFile::encodeName(m_stagingPath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw ConversionError::failure(FailureKind::NoOutput);
    }
    struct stat info {};
    const bool refused = ::fstat(fd, &info) != 0 || (info.st_size == 0 && !m_emptyAllowed);
    // Photo libraries and file managers sort by date: an output is dated as its source. Where
    // the folder will not take the date, the output is still good.
    if (const auto modified = m_batch.sourceModified(); modified && !refused) {
        const timespec times[2] = {{0, UTIME_OMIT}, *modified};
        ::futimens(fd, times);
    }
    const bool whole = refused || looksComplete(fd, m_finalPath, info.st_size);
    // Data first, name second: after a power cut the final name holds the old file or the new
    // one, never an empty one.
    const int synced = refused || !whole ? 0 : ::fsync(fd);
    const int syncError = errno;
    ::close(fd);
    if (refused) {
        throw ConversionError::failure(FailureKind::NoOutput);
    }
    if (!whole) {
        throw ConversionError::failure(FailureKind::CutOff);
    }
    if (synced != 0) {
        throw writeFailure(syncError);
    }
}

void OutputFile::publish() {
    // A file of that name from before the batch goes to the Trash, where the user can get it
    // back; the link there is made before the rename, so the name never goes missing. Where the
    // volume has no Trash that takes it, it is replaced.
    struct stat existing {};
    if (::lstat(QFile::encodeName(m_finalPath).constData(), &existing) == 0 &&
        !S_ISDIR(existing.st_mode)) {
        m_replaced = keepInTrash(m_finalPath).has_value();
    }
    if (::rename(QFile::encodeName(m_stagingPath).constData(),
                 QFile::encodeName(m_finalPath).constData()) != 0) {
        throw writeFailure(errno);
    }
    m_batch.recordOutput(m_finalPath);
}

void OutputFile::commit() {
    prepare();
    publish();
}

OutputGroup::OutputGroup(const QString& source, BatchContext& batch)
    : m_source(source), m_batch(batch) {}

OutputGroup::~OutputGroup() = default;

const QString& OutputGroup::add(const QString& finalPath) {
    if (OutputFile* added = find(finalPath)) {
        return added->stagingPath();
    }
    m_outputs.push_back(std::make_unique<OutputFile>(finalPath, m_source, m_batch));
    return m_outputs.back()->stagingPath();
}

OutputFile* OutputGroup::find(const QString& finalPath) const {
    const QString absolute = QFileInfo(finalPath).absoluteFilePath();
    for (const auto& output : m_outputs) {
        if (output->finalPath() == absolute) {
            return output.get();
        }
    }
    return nullptr;
}

QStringList OutputGroup::commit(const QStringList& finalPaths) {
    std::vector<OutputFile*> outputs;
    for (const QString& path : finalPaths) {
        OutputFile* output = find(path);
        if (!output) {
            throw ConversionError::failure(FailureKind::NoOutput);
        }
        outputs.push_back(output);
    }
    for (OutputFile* output : outputs) {
        output->prepare();
    }
    for (auto output = outputs.begin(); output != outputs.end(); ++output) {
        try {
            (*output)->publish();
        } catch (const Error&) {
            for (auto moved = outputs.begin(); moved != output; ++moved) {
                ::unlink(QFile::encodeName((*moved)->finalPath()).constData());
            }
            throw;
        }
    }
    QStringList replaced;
    for (const OutputFile* output : outputs) {
        if (output->replacedAnother()) {
            replaced << output->finalPath();
        }
    }
    // Their staging folders are empty now, and go.
    std::erase_if(m_outputs, [&](const std::unique_ptr<OutputFile>& output) {
        return std::find(outputs.begin(), outputs.end(), output.get()) != outputs.end();
    });
    return replaced;
}

Staging::Staging(const QString& finalPath, const QString& source, BatchContext& batch)
    : m_finalPath(QFileInfo(finalPath).absoluteFilePath()), m_group(source, batch) {}

QStringList Staging::commit(const Written& written) {
    if (written.outputs.isEmpty()) {
        throw ConversionError::failure(FailureKind::NoOutput);
    }
    QStringList finals;
    for (const QString& path : written.outputs) {
        OutputFile* output = m_group.find(path);
        if (!output) {
            throw ConversionError::failure(FailureKind::NoOutput);
        }
        if (written.mayBeEmpty) {
            output->allowEmptyResult();
        }
        finals << output->finalPath();
    }
    m_replaced = m_group.commit(finals);
    return finals;
}

void removeSourceIfAsked(const QString& source, const SettingsSnapshot& settings) {
    if (!settings.replaceOriginal) {
        return;
    }
    if (::unlink(QFile::encodeName(source).constData()) != 0) {
        throw ConversionError::processFailed(
            QStringLiteral("The output was saved, but the original could not be deleted (%1)")
                .arg(systemReason(errno)));
    }
}

}  // namespace pivana
