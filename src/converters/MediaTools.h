#pragma once

#include "engine/BatchContext.h"
#include "engine/Converter.h"

#include <QString>
#include <QStringList>

namespace pivana {

/// Runs pivana-audio or pivana-video (`tool`) with `arguments`, following the progress lines it
/// prints into the batch's progress when `batch` is given. A failure throws `processFailed` with
/// `prefix` and the tool's sentence.
void runMediaTool(const QString& tool, const QString& prefix, const QStringList& arguments,
                  BatchContext* batch);

/// Converts the job's video or animated GIF to `format` (mp4, mov, m4v, m4a, gif) with
/// pivana-video, into the job's staging. The tool's sentences are shown without a prefix: they
/// read as the video's own problem.
Written convertWithVideoTool(const ConversionJob& job, const QString& format);

}  // namespace pivana
