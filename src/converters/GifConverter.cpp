#include "converters/GifConverter.h"

#include "converters/MediaErrors.h"
#include "converters/VideoConverter.h"
#include "engine/OutputFile.h"
#include "media/StreamTranscoder.h"

#include <QFile>

#include <algorithm>
#include <cmath>

namespace pivana::GIFConverter {

namespace {

using namespace media;

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

}  // namespace

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

void gifToVideo(const QString& source, const QString& target, const SettingsSnapshot& settings,
                BatchContext& batch) {
    OutputFile output(outputPath(source, target, settings), source, batch);
    withMediaErrors([&] {
        // Keep the delays as declared (FFmpeg would replace short ones); frameDelay clamps them.
        AVDictionary* options = nullptr;
        av_dict_set(&options, "min_delay", "0", 0);
        av_dict_set(&options, "default_delay", "10", 0);
        Input input;
        try {
            input = openInput(QFile::encodeName(source).toStdString(), &options);
        } catch (const MediaError&) {
            av_dict_free(&options);
            throw MediaError("Cannot open GIF");
        }
        av_dict_free(&options);
        const int videoIndex = bestStream(input.get(), AVMEDIA_TYPE_VIDEO);
        if (videoIndex < 0) {
            throw MediaError("GIF has no readable frames");
        }
        const AVStream* gif = input->streams[videoIndex];

        Output movie(QFile::encodeName(output.stagingPath()).toStdString(),
                     VideoConverter::movieMuxer(target));
        // The decoder composites every frame onto the canvas, transparent parts black, and the
        // video keeps only the colour. H.264 in 4:2:0 needs even sides, so an odd frame gets one
        // more row or column.
        const std::string filters = "pad=ceil(iw/2)*2:ceil(ih/2)*2,format=yuv420p";
        StreamTranscoder video(gif, filters,
                               {"libx264", {{"crf", "18"}, {"preset", "medium"}}, nullptr}, movie);
        // The GIF decoder gives one frame per packet, so the packet's duration is the delay of
        // the frame it decodes to.
        long long presentation = 0;
        int declaredDelay = 10;
        video.onDecodedFrame = [&](AVFrame* frame) {
            frame->pts = presentation;
            presentation += frameDelay(declaredDelay);
        };
        const double total = durationSeconds(input.get(), gif);
        video.onProgress = [&batch, total](double seconds) {
            if (std::isfinite(total) && total > 0) {
                batch.reportProgress(seconds / total);
            }
        };
        movie.begin();
        // A damaged tail ends the animation, as in a browser.
        readPackets(
            input.get(),
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
    });
    output.commit();
    removeSourceIfAsked(source, settings);
}

void videoToGIF(const QString& source, const SettingsSnapshot& settings, BatchContext& batch) {
    OutputFile output(outputPath(source, QStringLiteral("gif"), settings), source, batch);
    withMediaErrors([&] {
        Input input = openInput(QFile::encodeName(source).toStdString());
        const int videoIndex = bestStream(input.get(), AVMEDIA_TYPE_VIDEO);
        if (videoIndex < 0) {
            throw MediaError("The file has no video track");
        }
        const AVStream* stream = input->streams[videoIndex];
        const double duration = durationSeconds(input.get(), stream);
        if (!std::isfinite(duration)) {
            throw MediaError("The video's length is unknown, so it cannot be sampled into a GIF");
        }
        const int frames = gifFrameCount(duration);
        const double sampled = std::min(duration, 30.0);

        const int rotation = displayRotation(stream);
        const bool sideways = rotation == 90 || rotation == 270;
        const int shownWidth = sideways ? stream->codecpar->height : stream->codecpar->width;
        const int shownHeight = sideways ? stream->codecpar->width : stream->codecpar->height;
        const auto [width, height] = gifFrameSize(shownWidth, shownHeight);
        // One frame every tenth of a second from the start; the palette is made from the frames
        // themselves.
        const std::string filters =
            rotationFilter(rotation) +
            "fps=fps=10:start_time=0:eof_action=pass,scale=" + std::to_string(width) + ":" +
            std::to_string(height) +
            ":flags=lanczos,split[frames][sample];[sample]palettegen[palette];"
            "[frames][palette]paletteuse";

        Output gif(QFile::encodeName(output.stagingPath()).toStdString(), "gif");
        StreamTranscoder video(stream, filters, {"gif", {}, nullptr}, gif);
        video.setFrameLimit(frames);
        bool pastEnd = false;
        video.onProgress = [&](double seconds) {
            batch.reportProgress(seconds / sampled);
            pastEnd = seconds > sampled + 0.2;
        };
        AVDictionary* options = nullptr;
        av_dict_set(&options, "loop", "0", 0);  // forever
        av_dict_set(&options, "final_delay", "10", 0);
        gif.begin(&options);
        av_dict_free(&options);
        readPackets(input.get(), [&](AVPacket* packet) {
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
    });
    output.commit();
    removeSourceIfAsked(source, settings);
}

}  // namespace pivana::GIFConverter
