#pragma once

#include "engine/BatchContext.h"
#include "settings/Snapshot.h"

#include <QString>
#include <QStringList>

namespace pivana {

/// Runs pivana-audio or pivana-video (`tool`) with `arguments`, following the progress lines it
/// prints into the batch's progress when `batch` is given. A failure throws `processFailed` with
/// `prefix` and the tool's sentence.
void runMediaTool(const QString& tool, const QString& prefix, const QStringList& arguments,
                  BatchContext* batch);

/// Converts a video or an animated GIF to `format` (mp4, mov, m4v, m4a, gif) with pivana-video,
/// by the shared output rules, and deletes the source under "Replace original". The tool's
/// sentences stand alone, without a prefix, as the movie framework's own errors would.
void convertWithVideoTool(const QString& source, const QString& format,
                          const SettingsSnapshot& settings, BatchContext& batch);

}  // namespace pivana
