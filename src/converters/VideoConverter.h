#pragma once

#include "engine/Converter.h"

namespace pivana::VideoConverter {

/// Converts a video to another movie container (mp4, mov, m4v), to a GIF, or to its soundtrack
/// (m4a, wav, aiff, aac, flac).
Written convert(const ConversionJob& job);

}  // namespace pivana::VideoConverter
