#pragma once

#include "settings/Snapshot.h"

#include <QString>

namespace pivana {

class BatchContext;

/// The folder outputs of this source go to: the custom folder when the mode is custom and the
/// folder resolved, otherwise the source's own folder.
QString outputFolder(const QString& source, const SettingsSnapshot& settings);

/// The output path by the naming rule: the source's name without its last extension, ".", the
/// target, in the output folder.
QString outputPath(const QString& source, const QString& target, const SettingsSnapshot& settings);

/// One output file of a conversion, written atomically. The converter writes to `stagingPath()`,
/// a hidden file beside the final name with the same extension; `commit()` moves it over the
/// final name. Until then an existing file of that name is untouched, and a staging file that was
/// never committed is removed on destruction.
///
/// Construction refuses, with a clear error, an output that would be the source itself or one
/// that an earlier file of the same batch already wrote.
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

    /// Flushes the staged file to disk and renames it over the final name. Throws when the staged
    /// file is missing or empty, or the rename fails.
    void commit();

private:
    QString m_finalPath;
    QString m_stagingPath;
    BatchContext& m_batch;
    bool m_committed = false;
};

/// Under "Replace original", deletes the source for good. Call only after every output of the
/// source is committed.
void removeSourceIfAsked(const QString& source, const SettingsSnapshot& settings);

}  // namespace pivana
