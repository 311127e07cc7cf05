#pragma once

#include "engine/BatchContext.h"
#include "engine/ConversionResult.h"
#include "settings/Snapshot.h"

#include <QFuture>
#include <QStringList>

namespace pivana {

class CancelToken;
class ConverterTable;

/// Converts a batch: each file goes to the entry its route's category names in the converter
/// table the driver was built with. Files convert side by side, up to `parallelism` at once, as
/// their work kinds allow (see `WorkKind`); documents for the office go to it together when the
/// table has a document batch entry.
///
/// Before any file starts, every file's output name is held for it, in input order, so no file
/// writes over a source of the batch or over an earlier file's output: a file whose output would
/// be a source fails at once, and one whose output an earlier file also makes waits for that
/// file and converts only if it failed. Outcomes always come back in input order.
///
/// Cheap to copy; the table must outlive the driver and every batch it started.
class BatchDriver {
public:
    explicit BatchDriver(const ConverterTable& converters, int parallelism = usableCores());

    /// Converts the files and reports each outcome, in input order. Never throws: every failure
    /// is recorded against its file and the batch goes on. Once `cancel` is raised, running tools
    /// are killed, no further file starts, and every file not converted fails with "Cancelled";
    /// outputs already committed and their sources' deletions stand.
    ConversionResult convert(const QStringList& files, const QString& target,
                             const SettingsSnapshot& settings,
                             const BatchObserver* observer = nullptr,
                             const CancelToken* cancel = nullptr) const;

    /// The same, off the calling thread; the observer and the token are used from worker
    /// threads and must live until the future finishes.
    QFuture<ConversionResult> convertInBackground(const QStringList& files, const QString& target,
                                                  const SettingsSnapshot& settings,
                                                  const BatchObserver* observer = nullptr,
                                                  const CancelToken* cancel = nullptr) const;

    /// The cores this process may run on.
    static int usableCores();

private:
    const ConverterTable* m_converters;
    int m_parallelism;
};

}  // namespace pivana
