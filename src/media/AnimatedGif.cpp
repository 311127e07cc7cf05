#include "media/AnimatedGif.h"

#include "media/Media.h"
#include "media/MovieFormat.h"
#include "media/StreamTranscoder.h"

#include <algorithm>
#include <cmath>

namespace pivana::media {

int frameDelay(int declaredHundredths) {
    return std::max(declaredHundredths, 2);
}

int gifFrameCount(double durationSeconds) {
    const int frames = static_cast<int>(std::min(durationSeconds, 30.0) * 10.0);
    return std::max(frames, 1);
}

std::pair<int, int> gifFrameSize(int width, int height) {
    const double scale = std::min({640.0 / width, 640.0 / height, 1.0});
    return {std::max(1, static_cast<int>(std::floor(width * scale))),
            std::max(1, static_cast<int>(std::floor(height * scale)))};
}

namespace {

constexpr const char* noFrames = "GIF has no readable frames";

// Keeps the delays as declared (FFmpeg would replace short ones); frameDelay clamps them.
Input openGif(const std::string& path) {
    Options options{{"min_delay", "0"}, {"default_delay", "10"}};
    try {
        return openInput(path, options.get());
    } catch (const Failure& error) {
        if (error.kind()) {
            throw;  // the file system's reason, not the file's
        }
        throw Failure(std::string("Cannot open GIF"));
    }
}

// Each frame is shown for its own delay. The GIF decoder gives one frame per packet, so the
// packet's duration is the delay of the frame it decodes to.
void timeFramesByDelays(StreamTranscoder& video, const int& declaredDelay) {
    video.onDecodedFrame = [&declaredDelay, presentation = 0LL](AVFrame* frame) mutable {
        frame->pts = presentation;
        presentation += frameDelay(declaredDelay);
    };
}

// A GIF of one frame would otherwise be a video of no length: nothing follows its frame to end
// it, and the encoder gives its picture no duration. A browser shows such a still for as long as
// the page is open; the video shows it for its delay, at least a tenth of a second. Called once
// every packet was read: the encoder keeps back the picture until it is flushed.
void showStillForItsDelay(StreamTranscoder& video, int declaredDelay) {
    if (video.decoding().frames != 1) {
        return;
    }
    const int hundredths = std::max(frameDelay(declaredDelay), 10);
    const int64_t duration =
        av_rescale_q(hundredths, AVRational{1, 100}, video.encoder()->time_base);
    video.onEncodedPacket = [duration](AVPacket* packet) {
        if (packet->duration <= 0) {
            packet->duration = duration;
        }
    };
}

std::function<void(double)> progressOver(double seconds,
                                         const std::function<void(double)>& progress) {
    if (!progress || !std::isfinite(seconds) || seconds <= 0) {
        return {};
    }
    return [progress, seconds](double reached) { progress(reached / seconds); };
}

// The GIF's picture stream, when it has one with a size.
const AVStream* gifPicture(AVFormatContext* input) {
    const int index = bestStream(input, AVMEDIA_TYPE_VIDEO);
    if (index < 0 || input->streams[index]->codecpar->width <= 0 ||
        input->streams[index]->codecpar->height <= 0) {
        throw Failure(std::string(noFrames));
    }
    return input->streams[index];
}

// Turns frames upright and samples one every tenth of a second from the start, at most
// `gifFrameSize`; the palette is made from the frames themselves.
std::string gifFilters(const AVStream* stream) {
    const int rotation = displayRotation(stream);
    const bool sideways = rotation == 90 || rotation == 270;
    const int shownWidth = sideways ? stream->codecpar->height : stream->codecpar->width;
    const int shownHeight = sideways ? stream->codecpar->width : stream->codecpar->height;
    const auto [width, height] = gifFrameSize(shownWidth, shownHeight);
    return uprightFilter(rotation) +
           "fps=fps=10:start_time=0:eof_action=pass,scale=" + std::to_string(width) + ":" +
           std::to_string(height) +
           ":flags=lanczos,split[frames][sample];[sample]palettegen[palette];"
           "[frames][palette]paletteuse";
}

// The video's picture stream and how long it lasts.
std::pair<const AVStream*, double> sampledPicture(AVFormatContext* input) {
    const int index = bestStream(input, AVMEDIA_TYPE_VIDEO);
    if (index < 0) {
        throw Failure(std::string("The file has no video track"));
    }
    const AVStream* stream = input->streams[index];
    const double duration = durationSeconds(input, stream);
    if (!std::isfinite(duration)) {
        throw Failure(
            std::string("The video's length is unknown, so it cannot be sampled into a GIF"));
    }
    return {stream, duration};
}

}  // namespace

// The decoder composites every frame onto the canvas, transparent parts black, and the video
// keeps only the colour.
void gifToMovie(const std::string& inputPath, const std::string& outputPath,
                std::string_view target, const std::function<void(double)>& progress) {
    const Input input = openGif(inputPath);
    const AVStream* gif = gifPicture(input.get());
    int declaredDelay = 10;
    Output movie(outputPath, movieMuxer(target));
    StreamTranscoder video(gif, pictureFilters(gif, target), pictureEncoder(gif, target), movie);
    timeFramesByDelays(video, declaredDelay);
    video.onProgress = progressOver(durationSeconds(input.get(), gif), progress);
    movie.begin();
    // A damaged tail ends the animation, as in a browser.
    readPackets(
        input.get(),
        [&](AVPacket* packet) {
            if (packet->stream_index == gif->index) {
                declaredDelay = static_cast<int>(packet->duration);
                video.send(packet);
            }
            return true;
        },
        ReadErrors::End);
    showStillForItsDelay(video, declaredDelay);
    video.finish();
    if (video.framesEncoded() == 0) {
        throw Failure(std::string(noFrames));
    }
    movie.finish();
    movie.requireContent();
}

void movieToGif(const std::string& inputPath, const std::string& outputPath,
                const std::function<void(double)>& progress) {
    const Input input = openInput(inputPath);
    const auto [stream, duration] = sampledPicture(input.get());
    const double sampled = std::min(duration, 30.0);
    Output gif(outputPath, "gif");
    StreamTranscoder video(stream, gifFilters(stream), {"gif", {}, nullptr}, gif);
    video.setFrameLimit(gifFrameCount(duration));
    bool pastEnd = false;
    video.onProgress = [&](double seconds) {
        if (progress) {
            progress(seconds / sampled);
        }
        pastEnd = seconds > sampled + 0.2;
    };
    Options options{{"loop", "0"}, {"final_delay", "10"}};  // loops forever
    gif.begin(options.get());
    readPackets(input.get(), [&](AVPacket* packet) {
        if (packet->stream_index == stream->index) {
            video.send(packet);
        }
        return !pastEnd;
    });
    video.finish();
    if (!video.madeOutput()) {
        throw damage("no frame of the video decodes");
    }
    gif.finish();
    gif.requireContent();
}

}  // namespace pivana::media
