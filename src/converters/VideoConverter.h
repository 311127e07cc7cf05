#pragma once

#include "engine/Converter.h"

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace pivana::VideoConverter {

/// Converts a video to another movie container (mp4, mov, m4v), to a GIF, or to its soundtrack
/// (m4a, wav, aiff, aac, flac).
void convert(const QString& source, const QString& target, const SettingsSnapshot& settings,
             BatchContext& batch);

/// FFmpeg's writer for a movie target: "mp4", "mov", or "ipod" for m4v.
const char* movieMuxer(const QString& target);

/// Whether a stream of this codec goes into the target container unchanged.
bool canCopy(AVCodecID codec, const QString& target);

}  // namespace pivana::VideoConverter
