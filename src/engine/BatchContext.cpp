#include "engine/BatchContext.h"

#include "engine/BatchState.h"
#include "engine/CancelToken.h"
#include "engine/Error.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include <algorithm>
#include <cerrno>

namespace pivana {

struct BatchContext::Fingerprint {
    dev_t device;
    ino_t inode;
    off_t size;
    timespec modified;

    static Fingerprint of(const struct stat& info) {
        return Fingerprint{info.st_dev, info.st_ino, info.st_size, info.st_mtim};
    }
    bool operator==(const Fingerprint& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec;
    }
};

BatchContext::BatchContext()
    : m_ownState(std::make_unique<BatchState>(QStringList{}, nullptr, nullptr)),
      m_batch(*m_ownState),
      m_index(0) {}

BatchContext::BatchContext(BatchState& batch, int index, const QString& source)
    : m_batch(batch), m_index(index), m_source(source) {}

BatchContext::~BatchContext() = default;

void BatchContext::reportProgress(double fraction) const {
    throwIfCancelled();
    m_batch.notifyProgress(m_index, std::clamp(fraction, 0.0, 1.0));
}

bool BatchContext::isCancelled() const {
    return m_batch.cancel() && m_batch.cancel()->isCancelled();
}

void BatchContext::throwIfCancelled() const {
    if (isCancelled()) {
        throw ConversionError::cancelled();
    }
}

const CancelToken* BatchContext::toolCancel() const {
    return m_batch.cancel();
}

void BatchContext::checkSource() {
    const QByteArray path = QFile::encodeName(m_source);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) {
        throw ConversionError::failure(
            failureOfErrno(errno, FileAccess::Reading).value_or(FailureKind::Missing));
    }
    if (S_ISDIR(info.st_mode)) {
        throw ConversionError::failure(FailureKind::Folder);
    }
    if (!S_ISREG(info.st_mode)) {
        throw ConversionError::failure(FailureKind::NotAFile);
    }
    if (::access(path.constData(), R_OK) != 0) {
        throw ConversionError::failure(
            failureOfErrno(errno, FileAccess::Reading).value_or(FailureKind::ReadDenied));
    }
    m_fingerprint = std::make_unique<Fingerprint>(Fingerprint::of(info));
}

void BatchContext::checkSourceUnchanged() const {
    if (!m_fingerprint) {
        return;
    }
    struct stat info {};
    if (::stat(QFile::encodeName(m_source).constData(), &info) != 0 ||
        !(Fingerprint::of(info) == *m_fingerprint)) {
        throw ConversionError::failure(FailureKind::Changed);
    }
}

std::optional<timespec> BatchContext::sourceModified() const {
    if (!m_fingerprint) {
        return std::nullopt;
    }
    return m_fingerprint->modified;
}

void BatchContext::announceStart() {
    if (!m_announced) {
        m_announced = true;
        m_batch.notifyStarted(m_index);
    }
}

void BatchContext::claimOutput(const QString& absolutePath, const QString& source) {
    if (const auto reason = m_batch.claim(absolutePath, m_index, source)) {
        throw ConversionError::processFailed(*reason);
    }
}

void BatchContext::recordOutput(const QString& absolutePath) {
    m_batch.committed(absolutePath);
}

}  // namespace pivana
