#pragma once

#include "engine/BatchContext.h"

#include <sys/types.h>

#include <QHash>
#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace pivana {

class CancelToken;

/// What the files of one batch share, on whichever threads they convert: the batch's sources
/// (an output never replaces one of them), the output names each file holds, the observer and
/// the cancel token. Internal to the engine: converters see it through their `BatchContext`.
class BatchState {
public:
    BatchState(const QStringList& files, const BatchObserver* observer, const CancelToken* cancel);

    int count() const { return static_cast<int>(m_files.size()); }
    const CancelToken* cancel() const { return m_cancel; }

    /// Why file `index` (whose source is `source`) may not write `path`, if `path` is that source
    /// or another source of the batch.
    std::optional<QString> sourceConflict(const QString& path, int index,
                                          const QString& source) const;
    /// Why file `index` may not write `path`, or none: `path` is its own source, another source
    /// of the batch, or an output another file holds. Otherwise `path` is now held by `index`.
    std::optional<QString> claim(const QString& path, int index, const QString& source);
    /// Holds `path` for `index` before the batch starts, in input order; returns the file that
    /// already holds it, if another does.
    std::optional<int> reserve(const QString& path, int index);
    /// `path`, held by `index`, now exists.
    void committed(const QString& path);
    /// File `index` is done: the names it holds but did not write are free again.
    void release(int index);

    void notifyStarted(int index);
    void notifyProgress(int index, double fraction) const;

private:
    struct Hold {
        int owner;
        bool written;
    };
    QStringList m_files;
    std::vector<std::pair<dev_t, ino_t>> m_identities;  // of the sources that exist
    const BatchObserver* m_observer;
    const CancelToken* m_cancel;
    mutable std::mutex m_mutex;
    QHash<QString, Hold> m_holds;
    mutable std::mutex m_observerMutex;
};

}  // namespace pivana
