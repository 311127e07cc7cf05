#include "converters/VideoConverter.h"

#include "converters/AudioConverter.h"
#include "converters/GifConverter.h"
#include "converters/MediaErrors.h"
#include "engine/OutputFile.h"
#include "media/StreamTranscoder.h"

#include <QFile>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace pivana::VideoConverter {

namespace {

using namespace media;

const QSet<QString> audioFormats = {"m4a", "wav", "aiff", "aac", "flac"};

std::string path(const QString& file) {
    return QFile::encodeName(file).toStdString();
}

// High quality without surprises: H.264 at a quality-based rate, 4:2:0 for every player, sides
// made even as H.264 needs.
EncoderSettings h264() {
    return {"libx264", {{"crf", "18"}, {"preset", "medium"}}, nullptr};
}
std::string h264Filters(const AVStream* stream) {
    const bool odd = (stream->codecpar->width | stream->codecpar->height) & 1;
    return odd ? "pad=ceil(iw/2)*2:ceil(ih/2)*2,format=yuv420p" : "format=yuv420p";
}

EncoderSettings aac() {
    return {"aac", {}, [](AVCodecContext* encoder) {
                // 128 kbit/s a channel (256 for stereo), within what AAC carries at low rates.
                const long long channels = encoder->ch_layout.nb_channels;
                encoder->bit_rate =
                    std::min(128000 * channels, 5 * encoder->sample_rate * channels);
            }};
}

std::string aacFilters(const AVStream* stream) {
    const Codec decoder = openDecoder(stream);
    return audioFormatFilter(avcodec_find_encoder_by_name("aac"), decoder.get(), "fltp");
}

void copyStreamSideData(const AVStream* from, AVStream* to) {
    for (int i = 0; i < from->nb_side_data; ++i) {
        const AVPacketSideData& data = from->side_data[i];
        uint8_t* copy = av_stream_new_side_data(to, data.type, data.size);
        if (copy) {
            std::memcpy(copy, data.data, data.size);
        }
    }
}

// One kept input stream: copied as it is, or re-encoded.
struct Track {
    const AVStream* input;
    AVStream* copyTo = nullptr;
    std::unique_ptr<StreamTranscoder> transcoder;
};

void exportMovie(const QString& source, const QString& target, const SettingsSnapshot& settings,
                 BatchContext& batch) {
    OutputFile output(outputPath(source, target, settings), source, batch);
    withMediaErrors([&] {
        Input input = openInput(path(source));
        Output movie(path(output.stagingPath()), movieMuxer(target));

        // The main picture and every soundtrack; subtitles, data and cover pictures stay behind.
        std::vector<const AVStream*> kept;
        const int videoIndex = bestStream(input.get(), AVMEDIA_TYPE_VIDEO);
        if (videoIndex >= 0) {
            kept.push_back(input->streams[videoIndex]);
        }
        for (unsigned i = 0; i < input->nb_streams; ++i) {
            if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
                kept.push_back(input->streams[i]);
            }
        }
        if (kept.empty()) {
            throw MediaError("Not a readable media file\nno video or audio track");
        }

        std::vector<Track> tracks(input->nb_streams);
        for (const AVStream* stream : kept) {
            Track& track = tracks[static_cast<size_t>(stream->index)];
            track.input = stream;
            const bool video = stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
            if (canCopy(stream->codecpar->codec_id, target)) {
                track.copyTo = movie.addStream();
                check(avcodec_parameters_copy(track.copyTo->codecpar, stream->codecpar),
                      "cannot copy a stream");
                track.copyTo->codecpar->codec_tag = 0;
                if (stream->codecpar->codec_id == AV_CODEC_ID_HEVC) {
                    // The tag Apple's players need for HEVC in MP4 and QuickTime files.
                    track.copyTo->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');
                }
                track.copyTo->time_base = stream->time_base;
                track.copyTo->avg_frame_rate = stream->avg_frame_rate;
                track.copyTo->disposition = stream->disposition;
                av_dict_copy(&track.copyTo->metadata, stream->metadata, 0);
                copyStreamSideData(stream, track.copyTo);
            } else if (video) {
                track.transcoder =
                    std::make_unique<StreamTranscoder>(stream, h264Filters(stream), h264(), movie);
                // Rotation stays a display instruction, as in the source.
                copyStreamSideData(stream, track.transcoder->outputStream());
            } else {
                track.transcoder =
                    std::make_unique<StreamTranscoder>(stream, aacFilters(stream), aac(), movie);
            }
        }
        av_dict_copy(&movie.context()->metadata, input->metadata, 0);
        movie.begin();

        const double duration = durationSeconds(input.get());
        readPackets(input.get(), [&](AVPacket* packet) {
            Track& track = tracks[static_cast<size_t>(packet->stream_index)];
            if (track.input && std::isfinite(duration) && duration > 0 &&
                packet->pts != AV_NOPTS_VALUE) {
                batch.reportProgress(static_cast<double>(packet->pts) *
                                     av_q2d(track.input->time_base) / duration);
            }
            if (track.copyTo) {
                copyPacket(packet, track.input, track.copyTo, movie);
            } else if (track.transcoder) {
                track.transcoder->send(packet);
            }
            return true;
        });
        for (Track& track : tracks) {
            if (track.transcoder) {
                track.transcoder->finish();
            }
        }
        movie.finish();
    });
    output.commit();
    removeSourceIfAsked(source, settings);
}

// The soundtrack as M4A: copied when it already is AAC, else encoded.
void extractM4a(const QString& source, const QString& destination) {
    Input input = openInput(path(source));
    const int audioIndex = bestStream(input.get(), AVMEDIA_TYPE_AUDIO);
    const AVStream* audio = input->streams[audioIndex];
    Output m4a(path(destination), "ipod");
    AVStream* copy = nullptr;
    std::unique_ptr<StreamTranscoder> transcoder;
    if (audio->codecpar->codec_id == AV_CODEC_ID_AAC) {
        copy = m4a.addStream();
        check(avcodec_parameters_copy(copy->codecpar, audio->codecpar),
              "cannot copy the soundtrack");
        copy->codecpar->codec_tag = 0;
        copy->time_base = audio->time_base;
    } else {
        transcoder = std::make_unique<StreamTranscoder>(audio, aacFilters(audio), aac(), m4a);
    }
    av_dict_copy(&m4a.context()->metadata, input->metadata, 0);
    m4a.begin();
    // A damaged soundtrack fails rather than ending early as a shorter file.
    readPackets(input.get(), [&](AVPacket* packet) {
        if (packet->stream_index == audioIndex) {
            if (copy) {
                copyPacket(packet, audio, copy, m4a);
            } else {
                transcoder->send(packet);
            }
        }
        return true;
    });
    if (transcoder) {
        transcoder->finish();
    }
    m4a.finish();
}

void extractAudio(const QString& source, const QString& target, const SettingsSnapshot& settings,
                  BatchContext& batch) {
    OutputFile output(outputPath(source, target, settings), source, batch);
    withMediaErrors([&] {
        Input input = openInput(path(source));
        if (bestStream(input.get(), AVMEDIA_TYPE_AUDIO) < 0) {
            throw MediaError("The video has no soundtrack");
        }
    });
    if (target == u"m4a") {
        withMediaErrors([&] { extractM4a(source, output.stagingPath()); });
    } else {
        // pivana-audio reads the video itself: no lossy step in between.
        AudioConverter::convertFile(source, output.stagingPath(), target, &batch);
    }
    output.commit();
    removeSourceIfAsked(source, settings);
}

}  // namespace

const char* movieMuxer(const QString& target) {
    if (target == u"mov") {
        return "mov";
    }
    if (target == u"m4v") {
        return "ipod";  // FFmpeg's writer for Apple's M4V flavour of MPEG-4
    }
    return "mp4";
}

bool canCopy(AVCodecID codec, const QString& target) {
    const bool m4v = target == u"m4v";
    switch (codec) {
        case AV_CODEC_ID_H264:
        case AV_CODEC_ID_AAC:
            return true;
        case AV_CODEC_ID_HEVC:
        case AV_CODEC_ID_ALAC:
        case AV_CODEC_ID_MP3:
            return !m4v;
        case AV_CODEC_ID_PRORES:
        case AV_CODEC_ID_PCM_S16LE:
        case AV_CODEC_ID_PCM_S16BE:
        case AV_CODEC_ID_PCM_S24LE:
            return target == u"mov";
        default:
            return false;
    }
}

void convert(const QString& source, const QString& target, const SettingsSnapshot& settings,
             BatchContext& batch) {
    if (target == u"gif") {
        GIFConverter::videoToGIF(source, settings, batch);
    } else if (audioFormats.contains(target)) {
        extractAudio(source, target, settings, batch);
    } else if (target == u"mp4" || target == u"mov" || target == u"m4v") {
        exportMovie(source, target, settings, batch);
    } else {
        throw ConversionError::unsupportedFormat(target);
    }
}

}  // namespace pivana::VideoConverter
