#pragma once

#include "engine/Converter.h"

#include <QStringList>

namespace pivana::AudioConverter {

/// Converts an audio file to one of the audio targets (m4a, wav, aiff, aac, flac, mp3, opus)
/// through pivana-audio, at the settings' bit rate for the lossy ones.
Written convert(const ConversionJob& job);

/// Converts `source` (audio, or a video's soundtrack) into `output` without any settings: no bit
/// rate, nothing deleted. Reports progress to `batch` when given.
void convertFile(const QString& source, const QString& output, const QString& format,
                 BatchContext* batch = nullptr);

/// pivana-audio's arguments: `--to FORMAT [--bitrate N] INPUT OUTPUT`; `bitRate` in bits per
/// second, 0 for none, passed only to a lossy target.
QStringList toolArguments(const QString& input, const QString& format, long bitRate,
                          const QString& output);

}  // namespace pivana::AudioConverter
