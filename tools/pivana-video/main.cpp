// pivana-video: converts one video, or one animated GIF, for the app's video and GIF converters.
//
//   pivana-video INPUT -f FORMAT OUTPUT
//
//   FORMAT  mp4, mov, m4v: the picture and every soundtrack, each copied where the container
//                          takes it, else encoded (H.264, AAC)
//           m4a:           the main soundtrack
//           gif:           a looping GIF of the first 30 seconds, ten frames a second
//
// An INPUT named .gif is an animation: it becomes mp4, mov or m4v, each frame shown for its own
// delay. Exit status 0 on success; on failure one sentence on standard error and OUTPUT left as
// it was. With PIVANA_PROGRESS set, prints "progress FRACTION" lines on standard output.
#include "common/MediaTool.h"
#include "media/AnimatedGif.h"
#include "media/MovieExport.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace pivana::media;

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

// Empty when the arguments make no request.
std::optional<Request> parse(int argc, char** argv) {
    std::vector<std::string> paths;
    Request request;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-f" && i + 1 < argc) {
            request.format = argv[++i];
        } else {
            paths.push_back(argument);
        }
    }
    if (paths.size() != 2) {
        return std::nullopt;
    }
    request.input = paths[0];
    request.output = paths[1];
    request.animation = endsWithGif(request.input);
    const std::set<std::string> movies = {"mp4", "mov", "m4v"};
    const bool known = movies.count(request.format) > 0 ||
                       (!request.animation && (request.format == "m4a" || request.format == "gif"));
    return known ? std::optional(request) : std::nullopt;
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
    const std::optional<Request> request = parse(argc, argv);
    if (!request) {
        std::fprintf(stderr,
                     "usage: pivana-video INPUT -f FORMAT OUTPUT\n"
                     "FORMAT: mp4, mov, m4v, m4a or gif (mp4, mov or m4v for a .gif INPUT)\n");
        return 2;
    }
    return pivana::tools::runConversion(
        request->input, request->output,
        [&](const std::string& staging) { convert(*request, staging); });
}
