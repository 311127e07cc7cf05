#pragma once

// Rewrites a movie or its soundtrack as a file of the MP4 family or WebM, in the stages of a
// transcode: choose the input's tracks, open the output with each track copied or encoded, run the
// packets through, flush the encoders, write the trailer.

#include "media/Media.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pivana::media {

/// The input streams a conversion keeps, in the order they are written.
using Tracks = std::vector<const AVStream*>;

/// The main picture and every soundtrack; subtitles, data and cover pictures stay behind.
/// Throws `notReadable` when the input has neither picture nor sound.
Tracks movieTracks(AVFormatContext* input);

/// The main soundtrack alone. Throws "The video has no soundtrack" when there is none ("The file
/// has no sound" when there is no picture either).
Tracks soundtrack(AVFormatContext* input);

/// Writes `tracks` of the opened `input` to `path` as a `target` file (mp4, mov, m4v, webm, m4a):
/// each track copied where `canCopy` allows, else encoded. `progress` hears how far through the
/// input the work is, from 0 to 1. A read error fails the export rather than ending it early as a
/// shorter file; a damaged packet is skipped, as players skip it. Throws `damage`
/// unless every track plays (encoded from decoded frames, or copied and decoding) and the output
/// has packets of every track and some length.
void exportTracks(AVFormatContext* input, const Tracks& tracks, const std::string& path,
                  std::string_view target, const std::function<void(double)>& progress = {});

}  // namespace pivana::media
