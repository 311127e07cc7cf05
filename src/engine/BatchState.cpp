#include "engine/BatchState.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace pivana {

namespace {

std::optional<std::pair<dev_t, ino_t>> identityOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return std::nullopt;
    }
    return std::pair{info.st_dev, info.st_ino};
}

QString nameOf(const QString& path) {
    return QFileInfo(path).fileName();
}

}  // namespace

BatchState::BatchState(const QStringList& files, const BatchObserver* observer,
                       const CancelToken* cancel)
    : m_observer(observer), m_cancel(cancel) {
    for (const QString& file : files) {
        m_files << QFileInfo(file).absoluteFilePath();
        if (const auto identity = identityOf(file)) {
            m_identities.push_back(*identity);
        }
    }
}

std::optional<QString> BatchState::sourceConflict(const QString& path, int index,
                                                  const QString& source) const {
    const auto identity = identityOf(path);
    if (path == QFileInfo(source).absoluteFilePath() ||
        (identity && identity == identityOf(source))) {
        return QStringLiteral("The output would overwrite the source file itself");
    }
    for (int other = 0; other < count(); ++other) {
        if (other != index && m_files[other] == path) {
            return QStringLiteral("Converting it would overwrite %1, another file of this batch")
                .arg(nameOf(path));
        }
    }
    // Another name for a source: a hard link, or a path through a symbolic link.
    if (identity &&
        std::find(m_identities.begin(), m_identities.end(), *identity) != m_identities.end()) {
        return QStringLiteral("Converting it would overwrite %1, another file of this batch")
            .arg(nameOf(path));
    }
    return std::nullopt;
}

std::optional<QString> BatchState::claim(const QString& path, int index, const QString& source) {
    if (auto conflict = sourceConflict(path, index, source)) {
        return conflict;
    }
    const std::lock_guard lock(m_mutex);
    const auto hold = m_holds.constFind(path);
    if (hold == m_holds.cend()) {
        m_holds.insert(path, {index, false});
        return std::nullopt;
    }
    if (hold->owner == index) {
        return std::nullopt;
    }
    if (hold->written) {
        return (hold->owner < index
                    ? QStringLiteral("%1 was already written by an earlier file of this batch")
                    : QStringLiteral("%1 was already written by another file of this batch"))
            .arg(nameOf(path));
    }
    return QStringLiteral("Another file of this batch also becomes %1").arg(nameOf(path));
}

std::optional<int> BatchState::reserve(const QString& path, int index) {
    const std::lock_guard lock(m_mutex);
    const auto hold = m_holds.constFind(path);
    if (hold != m_holds.cend() && hold->owner != index) {
        return hold->owner;
    }
    m_holds.insert(path, {index, false});
    return std::nullopt;
}

void BatchState::committed(const QString& path) {
    const std::lock_guard lock(m_mutex);
    m_holds[path].written = true;
}

void BatchState::release(int index) {
    const std::lock_guard lock(m_mutex);
    m_holds.removeIf([index](const QHash<QString, Hold>::iterator& hold) {
        return hold->owner == index && !hold->written;
    });
}

void BatchState::notifyStarted(int index) {
    if (m_observer && m_observer->fileStarted && index < count()) {
        const std::lock_guard lock(m_observerMutex);
        m_observer->fileStarted(index, count(), m_files[index]);
    }
}

void BatchState::notifyProgress(int index, double fraction) const {
    if (m_observer && m_observer->fileProgress) {
        const std::lock_guard lock(m_observerMutex);
        m_observer->fileProgress(index, fraction);
    }
}

}  // namespace pivana
