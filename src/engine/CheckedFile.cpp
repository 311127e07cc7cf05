#include "engine/CheckedFile.h"

#include "engine/Error.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>

#include <cerrno>

namespace pivana {

namespace {

Error writingError(int errnum) {
    return ConversionError::failure(
        failureOfErrno(errnum, FileAccess::Writing).value_or(FailureKind::DiskError));
}

}  // namespace

CheckedFile::CheckedFile(const QString& path) {
    m_fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        throw writingError(errno);
    }
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

CheckedFile::~CheckedFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

qint64 CheckedFile::writeData(const char* data, qint64 size) {
    qint64 written = 0;
    while (written < size && m_error == 0) {
        const ssize_t n = ::write(m_fd, data + written, static_cast<size_t>(size - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            m_error = n < 0 ? errno : EIO;
            break;
        }
        written += n;
    }
    return m_error == 0 ? written : -1;
}

void CheckedFile::finish() {
    close();
    if (m_error == 0 && ::fsync(m_fd) != 0) {
        m_error = errno;
    }
    const int closed = ::close(m_fd);
    m_fd = -1;
    if (m_error == 0 && closed != 0) {
        m_error = errno;
    }
    if (m_error != 0) {
        throw writingError(m_error);
    }
}

}  // namespace pivana
