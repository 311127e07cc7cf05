#pragma once

#include "engine/BatchContext.h"
#include "engine/ConversionResult.h"
#include "settings/Snapshot.h"

#include <QFuture>
#include <QStringList>

namespace pivana {

class ConverterTable;

/// Converts a batch: each file, one after another, goes to the entry its route's category names
/// in the converter table the driver was built with. Cheap to copy; the table must outlive the
/// driver and every batch it started.
class BatchDriver {
public:
    explicit BatchDriver(const ConverterTable& converters) : m_converters(&converters) {}

    /// Converts the files on the calling thread and reports each outcome, in input order. Never
    /// throws: every failure is recorded against its file and the batch goes on.
    ConversionResult convert(const QStringList& files, const QString& target,
                             const SettingsSnapshot& settings,
                             const BatchObserver* observer = nullptr) const;

    /// The same, off the calling thread; the observer is called from the worker thread and must
    /// live until the future finishes.
    QFuture<ConversionResult> convertInBackground(const QStringList& files, const QString& target,
                                                  const SettingsSnapshot& settings,
                                                  const BatchObserver* observer = nullptr) const;

private:
    /// Converts one routed file; throws what its converter threw.
    QStringList convertFile(const QString& file, const QString& target,
                            const SettingsSnapshot& settings, BatchContext& batch) const;

    const ConverterTable* m_converters;
};

}  // namespace pivana
