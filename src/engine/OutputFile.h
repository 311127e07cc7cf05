#pragma once

#include "settings/Snapshot.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace pivana {

class BatchContext;

/// The folder outputs of this source go to: the custom folder when the mode is custom and the
/// folder resolved, otherwise the source's own folder.
QString outputFolder(const QString& source, const SettingsSnapshot& settings);

/// The output path by the naming rule: the source's name without its last extension, ".", the
/// target, in the output folder.
QString outputPath(const QString& source, const QString& target, const SettingsSnapshot& settings);

/// One output file of a conversion, written atomically. The converter (or the tool it runs)
/// writes to `stagingPath()`: the final name, inside a hidden folder of its own beside the final
/// file (".pivana-PID-XXXXXX"), so it has the same extension, fits wherever the final name fits,
/// and whatever a tool leaves beside its output stays in that folder. `commit()` moves the file
/// over the final name; until then an existing file of that name is untouched. The folder goes,
/// with anything in it, on every way out.
///
/// Construction refuses, with a clear error, an output that would be the source itself, another
/// source of the same batch, or an output another file of the batch writes.
///
/// The helper tools stage what they write as well (tools/common/StagedOutput.h), because they are
/// also run on their own; this layer is the one that knows the batch, so it stays even where the
/// tool's output is this staging file.
class OutputFile {
public:
    OutputFile(const QString& finalPath, const QString& source, BatchContext& batch);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const QString& finalPath() const { return m_finalPath; }
    const QString& stagingPath() const { return m_stagingPath; }
    /// Whether the commit put a file of the final name, from before, in the Trash.
    bool replacedAnother() const { return m_replaced; }

    /// An empty staged file is a conversion that wrote nothing, and fails the commit; but an
    /// empty text file converted to text is rightly empty. Call before `commit`.
    void allowEmptyResult() { m_emptyAllowed = true; }

    /// Flushes the staged file to disk and renames it over the final name. Throws, and keeps the
    /// old file, when the batch was cancelled, the source changed meanwhile, the staged file is
    /// missing or empty (unless allowed), or the rename fails.
    void commit();

private:
    friend class OutputGroup;
    /// Every check of `commit` and the flush, without the rename.
    void prepare();
    void publish();

    QString m_finalPath;
    bool m_replaced = false;
    QString m_stagingFolder;
    QString m_stagingPath;
    int m_lock = -1;  // held on the staging folder while it is in use
    BatchContext& m_batch;
    bool m_emptyAllowed = false;
};

/// Several outputs of one source that appear all together or not at all (the pages of a PDF):
/// each is staged on its own, and `commit` checks every one before it moves any into place.
class OutputGroup {
public:
    OutputGroup(const QString& source, BatchContext& batch);
    ~OutputGroup();

    /// Claims `finalPath` as one more output and returns the path to write it to; the same path
    /// again for a name already added.
    const QString& add(const QString& finalPath);
    /// An output added, by its final name, or null.
    OutputFile* find(const QString& finalPath) const;
    /// Commits the outputs named, or none: should a rename fail part way, the outputs already
    /// moved into place are removed again. Every name must have been added. Returns those whose
    /// older file went to the Trash.
    QStringList commit(const QStringList& finalPaths);

private:
    QString m_source;
    BatchContext& m_batch;
    std::vector<std::unique_ptr<OutputFile>> m_outputs;
};

/// What a converter wrote into its `Staging`: the final names of the outputs, in order.
struct Written {
    QStringList outputs;
    /// An empty file is a conversion that wrote nothing, except an empty note converted to text,
    /// which is rightly empty.
    bool mayBeEmpty = false;
};

/// Where a converter writes one source's outputs. The batch driver makes one per file from the
/// output name it reserved for it, hands it to the converter, and commits what the converter
/// says it wrote; nothing reaches a final name before that. Staging folders are made on first
/// use and go, with anything in them, with this object.
class Staging {
public:
    Staging(const QString& finalPath, const QString& source, BatchContext& batch);

    /// The reserved output's final name.
    const QString& finalPath() const { return m_finalPath; }
    /// Where to write the reserved output.
    const QString& path() { return m_group.add(m_finalPath); }
    /// Where to write an output whose name the work decides (one of a PDF's pages).
    const QString& pathFor(const QString& finalPath) { return m_group.add(finalPath); }
    /// The reserved output, written.
    Written written() const { return {{m_finalPath}}; }

    /// Checks every output `written` names (complete, not empty unless allowed, batch not
    /// cancelled, source unchanged) and moves them all into place, or none. Throws why not;
    /// a converter that names nothing wrote nothing. Returns the final paths.
    QStringList commit(const Written& written);
    /// The outputs whose commit put an older file of their name in the Trash.
    const QStringList& replaced() const { return m_replaced; }

private:
    QString m_finalPath;
    OutputGroup m_group;
    QStringList m_replaced;
};

/// Under "Replace original", deletes the source for good. Call only after every output of the
/// source is committed.
void removeSourceIfAsked(const QString& source, const SettingsSnapshot& settings);

}  // namespace pivana
