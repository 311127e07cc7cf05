#include "media/StreamTranscoder.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>

namespace pivana::media {

namespace {

struct InOutDeleter {
    void operator()(AVFilterInOut* inOut) const { avfilter_inout_free(&inOut); }
};

std::string rational(AVRational value) {
    return std::to_string(value.num) + "/" + std::to_string(value.den);
}

}  // namespace

StreamTranscoder::StreamTranscoder(const AVStream* input, const std::string& filters,
                                   const EncoderSettings& settings, Output& output)
    : m_input(input), m_inputIndex(input->index), m_output(output), m_decoder(openDecoder(input)) {
    buildFilters(filters);
    openEncoder(settings);
    addOutputStream();
}

void StreamTranscoder::buildFilters(const std::string& filters) {
    const bool video = m_decoder->codec_type == AVMEDIA_TYPE_VIDEO;
    // The reader learns a stream's size, rate and sample layout from its first frames; a stream
    // without them was cut off before any.
    const bool described =
        video
            ? m_decoder->width > 0 && m_decoder->height > 0 && m_decoder->pix_fmt != AV_PIX_FMT_NONE
            : m_decoder->sample_rate > 0 && m_decoder->ch_layout.nb_channels > 0 &&
                  m_decoder->sample_fmt != AV_SAMPLE_FMT_NONE;
    if (!described) {
        throw damage("a track ends before its first frame");
    }
    m_graph.reset(avfilter_graph_alloc());
    if (!m_graph) {
        check(AVERROR(ENOMEM), Stage::Converting, "cannot set up the filters");
    }
    check(
        avfilter_graph_create_filter(&m_source, avfilter_get_by_name(video ? "buffer" : "abuffer"),
                                     "in", sourceArguments().c_str(), nullptr, m_graph.get()),
        Stage::Converting, "cannot set up the filters");
    check(avfilter_graph_create_filter(&m_sink,
                                       avfilter_get_by_name(video ? "buffersink" : "abuffersink"),
                                       "out", nullptr, nullptr, m_graph.get()),
          Stage::Converting, "cannot set up the filters");
    linkFilters(filters.empty() ? (video ? "null" : "anull") : filters);
    check(avfilter_graph_config(m_graph.get(), nullptr), Stage::Converting,
          "cannot set up the filters");
}

// What the filters' source is told about the decoded frames it will be given.
std::string StreamTranscoder::sourceArguments() const {
    const AVCodecContext* decoder = m_decoder.get();
    if (decoder->codec_type == AVMEDIA_TYPE_VIDEO) {
        const AVRational aspect =
            decoder->sample_aspect_ratio.num ? decoder->sample_aspect_ratio : AVRational{1, 1};
        std::string arguments =
            "video_size=" + std::to_string(decoder->width) + "x" + std::to_string(decoder->height) +
            ":pix_fmt=" + std::to_string(decoder->pix_fmt) +
            ":time_base=" + rational(m_input->time_base) + ":pixel_aspect=" + rational(aspect);
        const AVRational rate =
            av_guess_frame_rate(nullptr, const_cast<AVStream*>(m_input), nullptr);
        if (rate.num > 0 && rate.den > 0) {
            arguments += ":frame_rate=" + rational(rate);
        }
        return arguments;
    }
    AVChannelLayout layout{};
    if (decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&layout, decoder->ch_layout.nb_channels);
    } else {
        check(av_channel_layout_copy(&layout, &decoder->ch_layout), Stage::Converting,
              "cannot read the channel layout");
    }
    char description[256] = {};
    av_channel_layout_describe(&layout, description, sizeof description);
    av_channel_layout_uninit(&layout);
    return "time_base=" + rational(m_input->time_base) +
           ":sample_rate=" + std::to_string(decoder->sample_rate) +
           ":sample_fmt=" + av_get_sample_fmt_name(decoder->sample_fmt) +
           ":channel_layout=" + description;
}

// Puts `chain` between the source and the sink.
void StreamTranscoder::linkFilters(const std::string& chain) {
    std::unique_ptr<AVFilterInOut, InOutDeleter> outputs(avfilter_inout_alloc());
    std::unique_ptr<AVFilterInOut, InOutDeleter> inputs(avfilter_inout_alloc());
    if (!outputs || !inputs) {
        check(AVERROR(ENOMEM), Stage::Converting, "cannot set up the filters");
    }
    outputs->name = av_strdup("in");
    outputs->filter_ctx = m_source;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = m_sink;
    // The parser takes both lists and hands back what it left unlinked.
    AVFilterInOut* inputsRaw = inputs.release();
    AVFilterInOut* outputsRaw = outputs.release();
    const int parsed =
        avfilter_graph_parse_ptr(m_graph.get(), chain.c_str(), &inputsRaw, &outputsRaw, nullptr);
    avfilter_inout_free(&inputsRaw);
    avfilter_inout_free(&outputsRaw);
    check(parsed, Stage::Converting, "cannot set up the filters");
}

// The encoder takes what the filters give: their size, pixel or sample format and timing.
void StreamTranscoder::openEncoder(const EncoderSettings& settings) {
    const AVCodec* codec = avcodec_find_encoder_by_name(settings.encoder.c_str());
    if (!codec) {
        check(AVERROR_ENCODER_NOT_FOUND, Stage::Converting, settings.encoder);
    }
    m_encoder.reset(avcodec_alloc_context3(codec));
    if (!m_encoder) {
        check(AVERROR(ENOMEM), Stage::Converting, "cannot set up the encoder");
    }
    AVCodecContext* encoder = m_encoder.get();
    if (codec->type == AVMEDIA_TYPE_VIDEO) {
        encoder->width = av_buffersink_get_w(m_sink);
        encoder->height = av_buffersink_get_h(m_sink);
        encoder->pix_fmt = static_cast<AVPixelFormat>(av_buffersink_get_format(m_sink));
        encoder->sample_aspect_ratio = av_buffersink_get_sample_aspect_ratio(m_sink);
        encoder->time_base = av_buffersink_get_time_base(m_sink);
        encoder->framerate = av_buffersink_get_frame_rate(m_sink);
    } else {
        encoder->sample_rate = av_buffersink_get_sample_rate(m_sink);
        encoder->sample_fmt = static_cast<AVSampleFormat>(av_buffersink_get_format(m_sink));
        check(av_buffersink_get_ch_layout(m_sink, &encoder->ch_layout), Stage::Converting,
              "cannot read the channel layout");
        encoder->time_base = AVRational{1, encoder->sample_rate};
    }
    if (m_output.needsGlobalHeader()) {
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (settings.configure) {
        settings.configure(encoder);
    }
    Options options;
    for (const auto& [key, value] : settings.options) {
        options.set(key, value);
    }
    check(avcodec_open2(encoder, codec, options.get()), Stage::Converting,
          "cannot open the " + settings.encoder + " encoder");
    // Encoders of fixed-size audio frames (AAC) are given frames of exactly that size.
    if (codec->type == AVMEDIA_TYPE_AUDIO &&
        !(codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) && encoder->frame_size > 0) {
        av_buffersink_set_frame_size(m_sink, static_cast<unsigned>(encoder->frame_size));
    }
}

void StreamTranscoder::addOutputStream() {
    m_outputStream = m_output.addStream();
    check(avcodec_parameters_from_context(m_outputStream->codecpar, m_encoder.get()),
          Stage::Converting, "cannot describe the output stream");
    m_outputStream->time_base = m_encoder->time_base;
    m_outputStream->avg_frame_rate = m_encoder->framerate;
    av_dict_copy(&m_outputStream->metadata, m_input->metadata, 0);
}

void StreamTranscoder::send(const AVPacket* packet) {
    if (reachedLimit()) {
        return;
    }
    decodePacket(m_decoder.get(), packet, m_decoded.get(), m_decoding,
                 [this](AVFrame* frame) { filter(frame); });
}

void StreamTranscoder::filter(AVFrame* frame) {
    if (reachedLimit()) {
        return;
    }
    frame->pts = frame->best_effort_timestamp;
    if (onProgress && frame->pts != AV_NOPTS_VALUE) {
        onProgress(static_cast<double>(frame->pts) * av_q2d(m_input->time_base));
    }
    if (onDecodedFrame) {
        onDecodedFrame(frame);
    }
    if (m_decoder->codec_type == AVMEDIA_TYPE_AUDIO && frame->sample_rate > 0) {
        m_soundDecoded += static_cast<double>(frame->nb_samples) / frame->sample_rate;
    }
    if (frame->pts != AV_NOPTS_VALUE) {
        const int64_t end = frame->pts + std::max<int64_t>(frame->pkt_duration, 0);
        m_inputEnd = m_inputEnd == AV_NOPTS_VALUE ? end : std::max(m_inputEnd, end);
    }
    check(av_buffersrc_add_frame_flags(m_source, frame, 0), Stage::Converting,
          "cannot filter the input");
    pullFilteredFrames();
}

void StreamTranscoder::pullFilteredFrames() {
    while (!reachedLimit()) {
        const int pulled = av_buffersink_get_frame(m_sink, m_filtered.get());
        if (pulled == AVERROR(EAGAIN) || pulled == AVERROR_EOF) {
            return;
        }
        check(pulled, Stage::Converting, "cannot filter the input");
        if (m_filtered->pts != AV_NOPTS_VALUE) {
            m_filtered->pts = av_rescale_q(m_filtered->pts, av_buffersink_get_time_base(m_sink),
                                           m_encoder->time_base);
        }
        m_filtered->pict_type = AV_PICTURE_TYPE_NONE;
        encode(m_filtered.get());
        av_frame_unref(m_filtered.get());
        ++m_framesEncoded;
    }
}

void StreamTranscoder::encode(AVFrame* frame) {
    check(avcodec_send_frame(m_encoder.get(), frame), Stage::Converting,
          "cannot encode the output");
    while (true) {
        const int received = avcodec_receive_packet(m_encoder.get(), m_encoded.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
            return;
        }
        check(received, Stage::Converting, "cannot encode the output");
        if (onEncodedPacket) {
            onEncodedPacket(m_encoded.get());
        }
        m_encoded->stream_index = m_outputStream->index;
        av_packet_rescale_ts(m_encoded.get(), m_encoder->time_base, m_outputStream->time_base);
        m_output.write(m_encoded.get());
    }
}

void StreamTranscoder::finish() {
    if (m_encoderFlushed) {
        return;
    }
    m_encoderFlushed = true;
    if (!reachedLimit()) {
        send(nullptr);
    }
    if (m_decoding.frames == 0) {
        return;  // nothing reached the filters or the encoder
    }
    if (!reachedLimit()) {
        check(av_buffersrc_close(m_source, m_inputEnd, 0), Stage::Converting,
              "cannot filter the input");
        pullFilteredFrames();
    }
    encode(nullptr);
}

bool StreamTranscoder::madeOutput() const {
    const bool sound = m_decoder->codec_type == AVMEDIA_TYPE_AUDIO;
    return m_decoding.decodes() && m_framesEncoded > 0 &&
           (!sound || m_soundDecoded >= shortestSound);
}

void copyPacket(AVPacket* packet, const AVStream* input, AVStream* output, Output& file) {
    av_packet_rescale_ts(packet, input->time_base, output->time_base);
    packet->stream_index = output->index;
    packet->pos = -1;
    file.write(packet);
}

}  // namespace pivana::media
