#pragma once

#include "engine/Converter.h"

namespace pivana::GIFConverter {

/// Every frame of an animated GIF, composited, timed by its own delays, as H.264 in an mp4, mov
/// or m4v file.
void gifToVideo(const QString& source, const QString& target, const SettingsSnapshot& settings,
                BatchContext& batch);

/// A looping GIF of the first 30 seconds of a video at ten frames per second, its long side at
/// most 640 pixels.
void videoToGIF(const QString& source, const SettingsSnapshot& settings, BatchContext& batch);

/// How long a GIF frame shows, in hundredths of a second, from the delay it declares: 2 or less
/// becomes 2 (the shortest delay browsers honour).
int frameDelay(int declaredHundredths);

/// How many frames a video of this many seconds gives: ten a second over at most 30 seconds,
/// at least one.
int gifFrameCount(double durationSeconds);

/// The GIF frame size for a video shown at `width` x `height`: scaled to fit 640 x 640, never
/// enlarged.
std::pair<int, int> gifFrameSize(int width, int height);

}  // namespace pivana::GIFConverter
