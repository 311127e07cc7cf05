#pragma once

#include "engine/Converter.h"

#include <QStringList>

namespace pivana::AudioConverter {

/// Converts an audio file to m4a, wav, aiff, aac or flac through pivana-audio, at the settings'
/// bit rate for the AAC targets.
Written convert(const ConversionJob& job);

/// Converts `source` (audio, or a video's soundtrack) into `output` without any settings: no bit
/// rate, nothing deleted. Reports progress to `batch` when given.
void convertFile(const QString& source, const QString& output, const QString& format,
                 BatchContext* batch = nullptr);

/// pivana-audio's arguments; `bitRate` in bits per second, 0 for none.
QStringList toolArguments(const QString& input, const QString& format, long bitRate,
                          const QString& output);

}  // namespace pivana::AudioConverter
