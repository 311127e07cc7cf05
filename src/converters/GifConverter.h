#pragma once

#include "engine/Converter.h"

namespace pivana::GIFConverter {

/// Every frame of an animated GIF, composited, timed by its own delays, as H.264 in an mp4, mov
/// or m4v file, written by pivana-video.
Written gifToVideo(const ConversionJob& job);

/// A looping GIF of the first 30 seconds of a video at ten frames per second, its long side at
/// most 640 pixels, written by pivana-video.
Written videoToGIF(const ConversionJob& job);

}  // namespace pivana::GIFConverter
