#include "media/MovieFormat.h"

#include "engine/Formats.h"

#include <algorithm>

namespace pivana::media {

const char* movieMuxer(std::string_view target) {
    if (const formats::MovieContainer* movie = formats::movieContainer(target)) {
        return movie->muxer;
    }
    if (target == "m4a") {
        return formats::audioEncoding(target)->muxer;
    }
    return "mp4";
}

bool canCopy(AVCodecID codec, std::string_view target) {
    // A soundtrack in M4A is AAC; the ipod writer behind m4v takes only what iPods played.
    if (target == "m4a") {
        return codec == AV_CODEC_ID_AAC;
    }
    const bool m4v = target == "m4v";
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
            return target == "mov";
        default:
            return false;
    }
}

EncoderSettings h264Encoder() {
    return {"libx264", {{"crf", "18"}, {"preset", "medium"}}, nullptr};
}

std::string h264Filters(const AVStream* stream) {
    const bool odd = (stream->codecpar->width | stream->codecpar->height) & 1;
    return odd ? "pad=ceil(iw/2)*2:ceil(ih/2)*2,format=yuv420p" : "format=yuv420p";
}

EncoderSettings aacEncoder() {
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

}  // namespace pivana::media
