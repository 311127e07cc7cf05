// pivana-video: converts one video, or one animated GIF, for the app's video and GIF converters.
//
//   pivana-video --to FORMAT INPUT OUTPUT
//
//   FORMAT  mp4, mov, m4v: the picture and every soundtrack, each copied where the container
//                          takes it, else encoded (H.264, AAC)
//           webm:          the same, encoded as AV1 (VP9 below 64 pixels a side) and Opus
//           m4a:           the main soundtrack
//           gif:           a looping GIF of the first 30 seconds, ten frames a second
//
// An INPUT named .gif is an animation: it becomes mp4, mov, m4v or webm, each frame shown for its
// own delay. Exit status 0 on success, 2 for a command line it cannot act on; on failure 1, one
// sentence on standard error and OUTPUT left as it was. With PIVANA_PROGRESS set, prints
// "progress FRACTION" lines on standard output.
#include "common/MediaTool.h"
#include "engine/Formats.h"
#include "media/AnimatedGif.h"
#include "media/MovieExport.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace pivana::media;
using pivana::tools::UsageError;

struct Request {
    std::string input;
    std::string format;
    std::string output;
    bool animation = false;  // the input is an animated GIF
};

bool endsWithGif(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".gif") == 0;
}

Request parse(int argc, char** argv) {
    const pivana::tools::CommandLine line = pivana::tools::parseCommandLine(argc, argv);
    Request request{line.input, line.format, line.output, endsWithGif(line.input)};
    const bool known = pivana::formats::isMovie(request.format) ||
                       (!request.animation && (request.format == "m4a" || request.format == "gif"));
    if (!known) {
        throw UsageError(request.animation ? "an animated GIF becomes mp4, mov, m4v or webm, not " +
                                                 request.format
                                           : "unknown target format " + request.format +
                                                 " (one of mp4, mov, m4v, webm, m4a, gif)");
    }
    return request;
}

void convert(const Request& request, const std::string& staging) {
    const auto progress = pivana::tools::progressLines();
    if (request.animation) {
        gifToMovie(request.input, staging, request.format, progress);
    } else if (request.format == "gif") {
        movieToGif(request.input, staging, progress);
    } else {
        const Input input = openInput(request.input);
        const Tracks tracks =
            request.format == "m4a" ? soundtrack(input.get()) : movieTracks(input.get());
        exportTracks(input.get(), tracks, staging, request.format, progress);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // SVT-AV1 reports its settings on standard error, where a failure's sentence goes.
    ::setenv("SVT_LOG", "0", 0);
    Request request;
    try {
        request = parse(argc, argv);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "%s\nusage: pivana-video --to FORMAT INPUT OUTPUT\n", error.what());
        return 2;
    }
    return pivana::tools::runConversion(
        request.input, request.output,
        [&request](const std::string& staging) { convert(request, staging); });
}
