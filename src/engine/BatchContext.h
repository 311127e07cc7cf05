#pragma once

#include <time.h>

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace pivana {

class BatchState;
class CancelToken;

/// Callbacks a caller may pass to follow a batch. Files of a batch may convert at the same time,
/// on several threads; the calls are never made at the same time, though, so a caller needs no
/// lock of its own.
struct BatchObserver {
    /// A file starts: its index in the batch, the batch size and its path. Called once per file,
    /// in the order the files start, which is the input order except where a file waits for an
    /// earlier one with the same output name: the k-th call is the k-th file started.
    std::function<void(int index, int count, const QString& file)> fileStarted;
    /// How far a file is, from 0 to 1, where its converter can tell.
    std::function<void(int index, double fraction)> fileProgress;
};

/// What one file's conversion shares with its batch: its progress, the batch's cancel token, and
/// the batch's record of sources and outputs, through which `OutputFile` refuses to write over a
/// source of the batch or another file's output. Converters receive one per file and hand its
/// `toolCancel()` to `runTool`.
class BatchContext {
public:
    /// A context of its own, for one conversion outside any batch (tests, tools): it knows no
    /// other source, and nobody cancels it.
    BatchContext();
    /// The context of file `index` of a batch; the driver makes these.
    BatchContext(BatchState& batch, int index, const QString& source);
    ~BatchContext();
    BatchContext(const BatchContext&) = delete;
    BatchContext& operator=(const BatchContext&) = delete;

    int index() const { return m_index; }

    /// Reports how far this file is, from 0 to 1. Also a point where cancelled work stops:
    /// throws `ConversionError::cancelled()` once the batch is cancelled.
    void reportProgress(double fraction) const;
    bool isCancelled() const;
    /// Throws `ConversionError::cancelled()` once the batch is cancelled.
    void throwIfCancelled() const;
    /// The token `ProcessOptions::cancel` takes, so that Cancel kills this file's tool at once;
    /// null outside a cancellable batch.
    const CancelToken* toolCancel() const;

    /// The driver's checks before a file converts: the source must be a regular file (not a
    /// folder, FIFO, socket or device, any of which could be read forever), and is remembered
    /// as it is now, so that a change while it converts fails it at commit. Throws the reason.
    void checkSource();
    /// Throws `FailureKind::Changed` when the source is no longer as `checkSource` found it.
    void checkSourceUnchanged() const;
    /// When the source was last modified, as `checkSource` found it; none before that.
    std::optional<timespec> sourceModified() const;

    /// Tells the batch's observer that this file starts; once per file, later calls do nothing.
    /// The driver calls it for the files it converts one by one; an office batch entry calls it
    /// as it reaches each document.
    void announceStart();

    /// Claims `absolutePath` as an output of this file, or throws why it may not be one: it is
    /// this source, another source of the batch, or another file's output.
    void claimOutput(const QString& absolutePath, const QString& source);
    /// Records a committed output: no other file of the batch may write it now.
    void recordOutput(const QString& absolutePath);

private:
    struct Fingerprint;
    std::unique_ptr<BatchState> m_ownState;
    BatchState& m_batch;
    int m_index;
    QString m_source;
    std::unique_ptr<Fingerprint> m_fingerprint;
    bool m_announced = false;
};

}  // namespace pivana
