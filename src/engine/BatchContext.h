#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace pivana {

/// Callbacks a caller may pass to follow a batch. Called on the thread that runs the batch.
struct BatchObserver {
    /// A file starts: its index in the batch, the batch size and its path.
    std::function<void(int index, int count, const QString& file)> fileStarted;
    /// How far the current file is, from 0 to 1, where its converter can tell.
    std::function<void(int index, double fraction)> fileProgress;
};

/// What one batch shares between its files: the outputs already written (so a later file never
/// overwrites them) and the progress channel of the current file.
class BatchContext {
public:
    explicit BatchContext(const BatchObserver* observer = nullptr) : m_observer(observer) {}

    void beginFile(int index);
    void reportProgress(double fraction) const;

    bool wasWrittenInThisBatch(const QString& absolutePath) const;
    void recordOutput(const QString& absolutePath);
    /// The outputs recorded since the current file began.
    const QStringList& currentOutputs() const { return m_currentOutputs; }

private:
    const BatchObserver* m_observer;
    int m_index = -1;
    QSet<QString> m_written;
    QStringList m_currentOutputs;
};

}  // namespace pivana
