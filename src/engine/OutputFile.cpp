#include "engine/OutputFile.h"

#include "engine/BatchContext.h"
#include "engine/Error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace pivana {

namespace {

QString systemReason(int errnum) {
    return QString::fromLocal8Bit(std::strerror(errnum));
}

// A failed write to the output folder, in the words of its kind where it has one.
ConversionError writeFailure(int errnum) {
    if (const auto kind = failureOfErrno(errnum, FileAccess::Writing)) {
        return ConversionError::failure(*kind);
    }
    return ConversionError::processFailed(QStringLiteral("Cannot save the output: ") +
                                          systemReason(errnum));
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
    QByteArray folder = QFile::encodeName(info.absolutePath() + QStringLiteral("/.pivana-XXXXXX"));
    if (!::mkdtemp(folder.data())) {
        throw writeFailure(errno);
    }
    m_stagingFolder = QFile::decodeName(folder);
    m_stagingPath = m_stagingFolder + u'/' + info.fileName();
}

OutputFile::~OutputFile() {
    QDir(m_stagingFolder).removeRecursively();
}

void OutputFile::prepare() {
    m_batch.throwIfCancelled();
    m_batch.checkSourceUnchanged();
    const int fd = ::open(QFile::encodeName(m_stagingPath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw ConversionError::failure(FailureKind::NoOutput);
    }
    struct stat info {};
    const bool empty = ::fstat(fd, &info) != 0 || info.st_size == 0;
    // Data first, name second: after a power cut the final name holds the old file or the new
    // one, never an empty one.
    const int synced = empty ? 0 : ::fsync(fd);
    const int syncError = errno;
    ::close(fd);
    if (empty) {
        throw ConversionError::failure(FailureKind::NoOutput);
    }
    if (synced != 0) {
        throw writeFailure(syncError);
    }
}

void OutputFile::publish() {
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
    m_outputs.push_back(std::make_unique<OutputFile>(finalPath, m_source, m_batch));
    return m_outputs.back()->stagingPath();
}

void OutputGroup::commit() {
    for (const auto& output : m_outputs) {
        output->prepare();
    }
    for (auto output = m_outputs.begin(); output != m_outputs.end(); ++output) {
        try {
            (*output)->publish();
        } catch (const Error&) {
            for (auto moved = m_outputs.begin(); moved != output; ++moved) {
                ::unlink(QFile::encodeName((*moved)->finalPath()).constData());
            }
            throw;
        }
    }
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
