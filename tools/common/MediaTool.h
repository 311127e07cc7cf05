#pragma once

// What pivana-audio and pivana-video share: their command line, the run of one conversion
// through a staged output, the plain sentence a failure is reported in, and the progress lines
// the app follows.

#include "media/Media.h"

#include <functional>
#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pivana::tools {

/// A media tool's command line: `--to FORMAT [--NAME VALUE]... INPUT OUTPUT`.
struct CommandLine {
    std::string format;                          ///< the value of --to
    std::map<std::string, std::string> options;  ///< the other options given, by name ("bitrate")
    std::string input;
    std::string output;
};

/// A command line the tool cannot act on; its text says what is wrong.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Reads `--to FORMAT`, the options named in `optionNames` (each with a value) and the two paths,
/// options before, between or after the paths; `--` ends the options, for a path that begins
/// with "--". Throws `UsageError` for an unknown or repeated option, a missing value, or other
/// than two paths.
CommandLine parseCommandLine(int argc, const char* const* argv,
                             std::initializer_list<std::string_view> optionNames = {});

/// With PIVANA_PROGRESS set (the app sets it), prints "progress FRACTION" lines on standard
/// output as the fraction it is given grows, at least 1% apart; otherwise does nothing.
std::function<void(double fraction)> progressLines();

/// Converts `input` into `output`: checks that the input is a file that can be read, runs
/// `convert` on a staging path beside the output, and renames it over the output only when it
/// succeeded. On failure prints one sentence on standard error and leaves `output` as it was.
/// Returns the exit status: 0 on success, 1 on failure.
int runConversion(const std::string& input, const std::string& output,
                  const std::function<void(const std::string& staging)>& convert);

}  // namespace pivana::tools
