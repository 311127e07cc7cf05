#include "media/MovieFormat.h"

#include "engine/Formats.h"

#include <algorithm>

namespace pivana::media {

namespace {

bool isWebm(std::string_view target) {
    return target == "webm";
}

// SVT-AV1 refuses pictures narrower or lower than 64 pixels; VP9 takes any size.
bool tooSmallForAv1(const AVStream* stream) {
    return stream->codecpar->width < 64 || stream->codecpar->height < 64;
}

}  // namespace

std::string uprightFilter(int degrees) {
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
    if (isWebm(target)) {
        return codec == AV_CODEC_ID_VP8 || codec == AV_CODEC_ID_VP9 || codec == AV_CODEC_ID_AV1 ||
               codec == AV_CODEC_ID_OPUS || codec == AV_CODEC_ID_VORBIS;
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

EncoderSettings pictureEncoder(const AVStream* stream, std::string_view target) {
    if (!isWebm(target)) {
        return {"libx264", {{"crf", "18"}, {"preset", "medium"}}, nullptr};
    }
    if (tooSmallForAv1(stream)) {
        // Constant quality, with no bit-rate ceiling.
        return {"libvpx-vp9",
                {{"crf", "32"}, {"deadline", "good"}, {"cpu-used", "4"}, {"row-mt", "1"}},
                [](AVCodecContext* encoder) { encoder->bit_rate = 0; }};
    }
    // Measured against VP9 on camera clips here, SVT-AV1 at this speed gave the better picture
    // at the same size in less than half the time (bench/README.md).
    return {"libsvtav1", {{"crf", "35"}, {"preset", "8"}}, nullptr};
}

std::string pictureFilters(const AVStream* stream, std::string_view target) {
    const bool odd = (stream->codecpar->width | stream->codecpar->height) & 1;
    const std::string even = odd ? "pad=ceil(iw/2)*2:ceil(ih/2)*2," : "";
    if (isWebm(target)) {
        return uprightFilter(displayRotation(stream)) + (tooSmallForAv1(stream) ? "" : even) +
               "format=yuv420p";
    }
    return even + "format=yuv420p";
}

bool keepsRotation(std::string_view target) {
    return !isWebm(target);
}

EncoderSettings soundEncoder(std::string_view target) {
    const bool opus = isWebm(target);
    return {opus ? "libopus" : "aac", {}, [opus](AVCodecContext* encoder) {
                // 128 kbit/s a channel (256 for stereo), within what the encoder carries: AAC
                // at low sample rates, Opus at most 256 kbit/s a channel and 510 in all.
                const long long channels = encoder->ch_layout.nb_channels;
                const long long most = opus ? std::min(256000 * channels, 510000LL)
                                            : 5 * encoder->sample_rate * channels;
                encoder->bit_rate = std::min(128000 * channels, most);
            }};
}

std::string soundFilters(const AVStream* stream, std::string_view target) {
    const bool opus = isWebm(target);
    const Codec decoder = openDecoder(stream);
    return audioFormatFilter(avcodec_find_encoder_by_name(opus ? "libopus" : "aac"), decoder.get(),
                             opus ? "flt" : "fltp");
}

}  // namespace pivana::media
