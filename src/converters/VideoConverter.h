#pragma once

#include "engine/Converter.h"

namespace pivana::VideoConverter {

/// Converts a video to another movie container (mp4, mov, m4v), to a GIF, or to its soundtrack
/// (m4a, wav, aiff, aac, flac).
void convert(const QString& source, const QString& target, const SettingsSnapshot& settings,
             BatchContext& batch);

}  // namespace pivana::VideoConverter
