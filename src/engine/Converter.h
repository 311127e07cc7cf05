#pragma once

#include "engine/BatchContext.h"
#include "engine/Error.h"
#include "engine/FileCategory.h"
#include "settings/Snapshot.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace pivana {

/// A converter entry point: converts one source to the target, writing its output by the shared
/// output rules, or throws an `Error`.
using ConverterEntry = std::function<void(const QString& source, const QString& target,
                                          const SettingsSnapshot& settings, BatchContext& batch)>;

/// How one file's work may share the machine with the other files of its batch.
enum class WorkKind {
    /// Its own work, in a tool process or small in process: up to one file per core at once.
    Parallel,
    /// Work that keeps every core busy by itself (video encoding): it runs alone.
    Exclusive,
    /// Goes through the one office: such files of a batch go together to the table's
    /// `documentBatch` entry, or, without one, one after another through their own entry.
    Office,
};

/// One document of an office batch, with the context its conversion goes through.
struct DocumentJob {
    QString source;
    BatchContext* context;
};

/// Converts the documents of a batch in one office session, in the order given, each by the
/// rules of a single conversion: claimed and staged through an `OutputFile` on its own context,
/// `announceStart()` on that context as the office reaches it, its source deleted under "Replace
/// original" only after its own output is committed, and the context's cancel token honoured.
/// Returns one entry per job, in the same order: none for a document that converted, otherwise
/// why it did not. A document that stops the office fails alone. Must not throw.
using DocumentBatchEntry = std::function<std::vector<std::optional<Error>>(
    const std::vector<DocumentJob>& jobs, const QString& target, const SettingsSnapshot& settings)>;

/// How the work of a source of this category, converted to this target, shares the machine.
using WorkKindRule =
    std::function<WorkKind(FileCategory category, const QString& source, const QString& target)>;

/// The converter the batch driver calls for each category (and for GIF sources, the video path).
/// The engine knows only these slots; whoever builds the driver fills them.
class ConverterTable {
public:
    ConverterEntry image;
    ConverterEntry gifToVideo;
    ConverterEntry audio;
    ConverterEntry video;
    ConverterEntry text;
    ConverterEntry pdf;
    ConverterEntry presentation;

    /// The work kind of each file; every file is `Parallel` when it is not set.
    WorkKindRule workKind;
    /// The documents of a batch in one office session; when not set, `Office` work goes one
    /// file after another through `text` and `presentation`.
    DocumentBatchEntry documentBatch;

    /// The entry for a source of this category asked for this target.
    const ConverterEntry& entryFor(FileCategory category, const QString& target) const;
    /// The work kind of this source for this target.
    WorkKind workKindFor(FileCategory category, const QString& source, const QString& target) const;
};

}  // namespace pivana
