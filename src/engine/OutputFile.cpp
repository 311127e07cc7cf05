#include "engine/OutputFile.h"

#include "engine/Converter.h"
#include "engine/Error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>

namespace pivana {

namespace {

bool sameFile(const QString& a, const QString& b) {
    struct stat first {};
    struct stat second {};
    if (::stat(QFile::encodeName(a).constData(), &first) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &second) != 0) {
        return false;
    }
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
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
    if (m_finalPath == QFileInfo(source).absoluteFilePath() || sameFile(m_finalPath, source)) {
        throw ConversionError::processFailed(
            QStringLiteral("The output would overwrite the source file itself"));
    }
    if (batch.wasWrittenInThisBatch(m_finalPath)) {
        throw ConversionError::processFailed(
            QStringLiteral("%1 was already written by an earlier file of this batch")
                .arg(QFileInfo(m_finalPath).fileName()));
    }
    const QFileInfo info(m_finalPath);
    // A folder that cannot take the output fails here, in plain words, before any work.
    if (::access(QFile::encodeName(info.absolutePath()).constData(), W_OK | X_OK) != 0) {
        throw Error::fileOperation(QStringLiteral("Cannot save"), m_finalPath, errno);
    }
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces).left(8).toUpper();
    m_stagingPath = info.dir().filePath(
        QStringLiteral(".%1.pivana-%2%3").arg(info.completeBaseName(), id, suffix));
}

OutputFile::~OutputFile() {
    if (!m_committed) {
        ::unlink(QFile::encodeName(m_stagingPath).constData());
    }
}

void OutputFile::commit() {
    const QByteArray staging = QFile::encodeName(m_stagingPath);
    const int fd = ::open(staging.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw ConversionError::processFailed(QStringLiteral("The converter wrote no output for %1")
                                                 .arg(QFileInfo(m_finalPath).fileName()));
    }
    struct stat info {};
    const bool empty = ::fstat(fd, &info) != 0 || info.st_size == 0;
    // Data first, name second: after a power cut the final name holds the old file or the new
    // one, never an empty one.
    ::fsync(fd);
    ::close(fd);
    if (empty) {
        throw ConversionError::processFailed(
            QStringLiteral("The converter wrote an empty output for %1")
                .arg(QFileInfo(m_finalPath).fileName()));
    }
    if (::rename(staging.constData(), QFile::encodeName(m_finalPath).constData()) != 0) {
        throw Error::fileOperation(QStringLiteral("Cannot save"), m_finalPath, errno);
    }
    m_committed = true;
    m_batch.recordOutput(m_finalPath);
}

void removeSourceIfAsked(const QString& source, const SettingsSnapshot& settings) {
    if (!settings.replaceOriginal) {
        return;
    }
    if (::unlink(QFile::encodeName(source).constData()) != 0) {
        throw Error::fileOperation(QStringLiteral("Cannot delete the original"), source, errno);
    }
}

}  // namespace pivana
