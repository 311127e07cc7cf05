#pragma once

// Animated GIF to movie and movie to animated GIF, in FFmpeg. Plain C++ (no Qt), run by
// pivana-video.

#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace pivana::media {

/// How long a GIF frame shows, in hundredths of a second, from the delay it declares: 2 or less
/// becomes 2 (the shortest delay browsers honour).
int frameDelay(int declaredHundredths);

/// How many frames a video of this many seconds gives: ten a second over at most 30 seconds,
/// at least one.
int gifFrameCount(double durationSeconds);

/// The GIF frame size for a video shown at `width` x `height`: scaled to fit 640 x 640, never
/// enlarged.
std::pair<int, int> gifFrameSize(int width, int height);

/// Writes every frame of the animated GIF at `input`, composited and timed by its own delays, as
/// H.264 in a `target` file (mp4, mov, m4v) at `output`. Throws "Cannot open GIF" when the file is
/// no GIF and "GIF has no readable frames" when no frame decodes; a damaged tail ends the
/// animation, as in a browser. `progress` hears how far through the GIF the work is, 0 to 1.
void gifToMovie(const std::string& input, const std::string& output, std::string_view target,
                const std::function<void(double)>& progress = {});

/// Writes a looping GIF of the first 30 seconds of the video at `input` to `output`, ten frames a
/// second, upright, its long side at most 640 pixels.
void movieToGif(const std::string& input, const std::string& output,
                const std::function<void(double)>& progress = {});

}  // namespace pivana::media
