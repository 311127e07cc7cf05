#pragma once

// What pivana-audio and pivana-video share: the run of one conversion through a staged output,
// the plain sentence a failure is reported in, and the progress lines the app follows.

#include "media/Media.h"

#include <functional>
#include <string>

namespace pivana::tools {

/// With PIVANA_PROGRESS set (the app sets it), prints "progress FRACTION" lines on standard
/// output as the fraction it is given grows, at least 1% apart; otherwise does nothing.
std::function<void(double fraction)> progressLines();

/// The one sentence a media tool writes on standard error for a failed conversion.
std::string sentenceFor(const media::MediaError& error);

/// Converts `input` into `output`: checks that the input is a file that can be read, runs
/// `convert` on a staging path beside the output, and renames it over the output only when it
/// succeeded. On failure prints one sentence on standard error and leaves `output` as it was.
/// Returns the exit status: 0 on success, 1 on failure.
int runConversion(const std::string& input, const std::string& output,
                  const std::function<void(const std::string& staging)>& convert);

}  // namespace pivana::tools
