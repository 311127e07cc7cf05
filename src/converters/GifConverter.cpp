#include "converters/GifConverter.h"

#include "converters/MediaErrors.h"
#include "engine/OutputFile.h"
#include "media/MovieFormat.h"
#include "media/StreamTranscoder.h"

#include <algorithm>
#include <cmath>

namespace pivana::GIFConverter {

using namespace media;

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

// Filters that turn decoded frames upright, as a player shows them.
std::string rotationFilter(int degrees) {
    switch (degrees) {
        case 90:
            return "transpose=clock,";
        case 180:
            return "hflip,vflip,";
        case 270:
            return "transpose=cclock,";
        default:
            return {};
    }
}

// Keeps the delays as declared (FFmpeg would replace short ones); frameDelay clamps them.
Input openGif(const QString& source) {
    Options options{{"min_delay", "0"}, {"default_delay", "10"}};
    try {
        return openInput(mediaPath(source), options.get());
    } catch (const MediaError&) {
        throw MediaError("Cannot open GIF");
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

std::function<void(double)> progressOver(double seconds, BatchContext& batch) {
    return [&batch, seconds](double reached) {
        if (std::isfinite(seconds) && seconds > 0) {
            batch.reportProgress(reached / seconds);
        }
    };
}

// The decoder composites every frame onto the canvas, transparent parts black, and the video
// keeps only the colour.
void writeGifAsMovie(AVFormatContext* input, const std::string& destination, const QString& target,
                     BatchContext& batch) {
    const int videoIndex = bestStream(input, AVMEDIA_TYPE_VIDEO);
    if (videoIndex < 0) {
        throw MediaError("GIF has no readable frames");
    }
    const AVStream* gif = input->streams[videoIndex];
    int declaredDelay = 10;
    Output movie(destination, movieMuxer(target.toStdString()));
    StreamTranscoder video(gif, h264Filters(gif), h264Encoder(), movie);
    timeFramesByDelays(video, declaredDelay);
    video.onProgress = progressOver(durationSeconds(input, gif), batch);
    movie.begin();
    // A damaged tail ends the animation, as in a browser.
    readPackets(
        input,
        [&](AVPacket* packet) {
            if (packet->stream_index == videoIndex) {
                declaredDelay = static_cast<int>(packet->duration);
                video.send(packet);
            }
            return true;
        },
        ReadErrors::End);
    video.finish();
    if (video.framesEncoded() == 0) {
        throw MediaError("GIF has no readable frames");
    }
    movie.finish();
}

// Turns frames upright and samples one every tenth of a second from the start, at most
// `gifFrameSize`; the palette is made from the frames themselves.
std::string gifFilters(const AVStream* stream) {
    const int rotation = displayRotation(stream);
    const bool sideways = rotation == 90 || rotation == 270;
    const int shownWidth = sideways ? stream->codecpar->height : stream->codecpar->width;
    const int shownHeight = sideways ? stream->codecpar->width : stream->codecpar->height;
    const auto [width, height] = gifFrameSize(shownWidth, shownHeight);
    return rotationFilter(rotation) +
           "fps=fps=10:start_time=0:eof_action=pass,scale=" + std::to_string(width) + ":" +
           std::to_string(height) +
           ":flags=lanczos,split[frames][sample];[sample]palettegen[palette];"
           "[frames][palette]paletteuse";
}

void writeVideoAsGif(AVFormatContext* input, const std::string& destination, BatchContext& batch) {
    const int videoIndex = bestStream(input, AVMEDIA_TYPE_VIDEO);
    if (videoIndex < 0) {
        throw MediaError("The file has no video track");
    }
    const AVStream* stream = input->streams[videoIndex];
    const double duration = durationSeconds(input, stream);
    if (!std::isfinite(duration)) {
        throw MediaError("The video's length is unknown, so it cannot be sampled into a GIF");
    }
    const double sampled = std::min(duration, 30.0);
    Output gif(destination, "gif");
    StreamTranscoder video(stream, gifFilters(stream), {"gif", {}, nullptr}, gif);
    video.setFrameLimit(gifFrameCount(duration));
    bool pastEnd = false;
    video.onProgress = [&](double seconds) {
        batch.reportProgress(seconds / sampled);
        pastEnd = seconds > sampled + 0.2;
    };
    Options options{{"loop", "0"}, {"final_delay", "10"}};  // loops forever
    gif.begin(options.get());
    readPackets(input, [&](AVPacket* packet) {
        if (packet->stream_index == videoIndex) {
            video.send(packet);
        }
        return !pastEnd;
    });
    video.finish();
    if (video.framesEncoded() == 0) {
        throw MediaError("Failed to write GIF");
    }
    gif.finish();
}

}  // namespace

void gifToVideo(const QString& source, const QString& target, const SettingsSnapshot& settings,
                BatchContext& batch) {
    OutputFile output(outputPath(source, target, settings), source, batch);
    withMediaErrors([&] {
        const Input input = openGif(source);
        writeGifAsMovie(input.get(), mediaPath(output.stagingPath()), target, batch);
    });
    output.commit();
    removeSourceIfAsked(source, settings);
}

void videoToGIF(const QString& source, const SettingsSnapshot& settings, BatchContext& batch) {
    OutputFile output(outputPath(source, QStringLiteral("gif"), settings), source, batch);
    withMediaErrors([&] {
        const Input input = openInput(mediaPath(source));
        writeVideoAsGif(input.get(), mediaPath(output.stagingPath()), batch);
    });
    output.commit();
    removeSourceIfAsked(source, settings);
}

}  // namespace pivana::GIFConverter
