#pragma once

#include "engine/BatchContext.h"
#include "engine/Error.h"
#include "engine/FileCategory.h"
#include "engine/OutputFile.h"
#include "settings/Snapshot.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace pivana {

/// One file's conversion as its converter sees it. The driver has checked the source, reserved
/// the output's name and made `output` from it; it commits what the converter wrote.
struct ConversionJob {
    const QString& source;
    const QString& target;
    const SettingsSnapshot& settings;
    /// Where the outputs are written.
    Staging& output;
    /// Progress and the batch's cancel token.
    BatchContext& batch;
};

/// A converter entry point: writes the job's output(s) into its staging and returns what it
/// wrote, or throws an `Error`. It never commits and never deletes the source: the driver does,
/// once the outputs it names are complete.
using ConverterEntry = std::function<Written(const ConversionJob& job)>;

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

/// One document of an office batch: its source, the staging of its output and its context.
struct DocumentJob {
    QString source;
    Staging* output;
    BatchContext* context;
};

/// Commits what a document of an office batch wrote, as the office finishes it; throws why it
/// could not. Given by the driver to the `DocumentBatchEntry`.
using DocumentCommit = std::function<void(size_t job, const Written& written)>;

/// Converts the documents of a batch in one office session, in the order given: each written
/// into its own staging, `announceStart()` on its context as the office reaches it, and handed to
/// `commit` as soon as the office has finished it, so that Cancel keeps what is done. Honours
/// the contexts' cancel token. Returns one entry per job, in the same order: none for a
/// document that was committed, otherwise why it was not. A document that stops the office
/// fails alone. Must not throw.
using DocumentBatchEntry = std::function<std::vector<std::optional<Error>>(
    const std::vector<DocumentJob>& jobs, const QString& target, const SettingsSnapshot& settings,
    const DocumentCommit& commit)>;

/// Makes one output of several sources together: the pictures of a batch become one PDF, a page
/// each. Every job's `output` is the same staging, that of the first source's output name; the
/// entry writes it, calls `announceStart()` on each job's context as the work reaches it, and
/// returns one entry per job, in order: none for a source the output holds, otherwise why it was
/// left out. The driver commits the output when it holds at least one source, and only then
/// deletes those sources under "Replace original". Must not throw.
using CollectionEntry = std::function<std::vector<std::optional<Error>>(
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
    /// The images of a batch asked for "pdf", into one document; when not set, each image goes
    /// through `image` on its own.
    CollectionEntry imageCollection;

    /// The entry for a source of this category asked for this target.
    const ConverterEntry& entryFor(FileCategory category, const QString& target) const;
    /// Whether sources of this category go to `imageCollection` together for this target.
    bool collects(FileCategory category, const QString& target) const;
    /// The work kind of this source for this target.
    WorkKind workKindFor(FileCategory category, const QString& source, const QString& target) const;
};

}  // namespace pivana
