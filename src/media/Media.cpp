#include "media/Media.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
}

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

namespace pivana::media {

std::string errorText(int code) {
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buffer, sizeof buffer);
    return buffer;
}

namespace {

// The system error an FFmpeg code carries (AVERROR(errno) is -errno), or 0 for FFmpeg's own.
int systemError(int code) {
    return code < 0 && code > -4096 ? -code : 0;
}

}  // namespace

Failure ffmpegFailure(Stage stage, int code, const std::string& what) {
    const std::string detail = what + ": " + errorText(code);
    const int errnum = systemError(code);
    if (errnum == ENOMEM) {
        return Failure(FailureKind::TooLarge, detail);
    }
    const bool reading = stage == Stage::Reading || stage == Stage::Decoding;
    if (errnum != 0 && (reading || stage == Stage::Writing)) {
        if (const auto kind =
                failureOfErrno(errnum, reading ? FileAccess::Reading : FileAccess::Writing)) {
            return Failure(*kind, detail);
        }
    }
    // Whatever else the reader or a decoder stumbled on is in the file; filters, encoders and
    // writers that refuse what they are given leave no fault of the file's to name.
    if (reading) {
        return Failure(FailureKind::Damaged, detail);
    }
    return Failure(std::string("Its picture or sound cannot be converted to this format"), detail);
}

int check(int code, Stage stage, const std::string& what) {
    if (code < 0) {
        throw ffmpegFailure(stage, code, what);
    }
    return code;
}

namespace {

[[noreturn]] void outOfMemory() {
    throw ffmpegFailure(Stage::Converting, AVERROR(ENOMEM), "allocation");
}

}  // namespace

Frame makeFrame() {
    Frame frame(av_frame_alloc());
    if (!frame) {
        outOfMemory();
    }
    return frame;
}

Packet makePacket() {
    Packet packet(av_packet_alloc());
    if (!packet) {
        outOfMemory();
    }
    return packet;
}

Options::Options(std::initializer_list<std::pair<std::string, std::string>> entries) {
    for (const auto& [key, value] : entries) {
        set(key, value);
    }
}

Options::~Options() {
    av_dict_free(&m_dictionary);
}

void Options::set(const std::string& key, const std::string& value) {
    if (av_dict_set(&m_dictionary, key.c_str(), value.c_str(), 0) < 0) {
        outOfMemory();
    }
}

Input openInput(const std::string& path, AVDictionary** options) {
    // Failures are reported by value; FFmpeg's own chatter would only clutter the terminal.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    AVFormatContext* context = nullptr;
    const int opened = avformat_open_input(&context, path.c_str(), nullptr, options);
    // A file that cannot be opened at all is the file system's matter; one whose bytes make no
    // sense is not a media file, whatever code the reader that gave up on it chose.
    for (const int systemError : {ENOENT, ENOTDIR, EACCES, EISDIR, ENAMETOOLONG, ENOMEM}) {
        if (opened == AVERROR(systemError)) {
            check(opened, Stage::Reading, "cannot open the file");
        }
    }
    if (opened < 0) {
        throw Failure(std::string(notReadable));
    }
    Input input(context);
    if (avformat_find_stream_info(context, nullptr) < 0 || context->nb_streams == 0) {
        throw Failure(std::string(notReadable));
    }
    return input;
}

Codec openDecoder(const AVStream* stream) {
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!decoder) {
        // A codec this FFmpeg was built without: the file may be sound, so not "damaged".
        throw Failure(std::string("Its picture or sound is in a coding that cannot be read"));
    }
    Codec context(avcodec_alloc_context3(decoder));
    if (!context) {
        outOfMemory();
    }
    check(avcodec_parameters_to_context(context.get(), stream->codecpar), Stage::Decoding,
          "cannot set up the decoder");
    context->pkt_timebase = stream->time_base;
    check(avcodec_open2(context.get(), decoder, nullptr), Stage::Decoding,
          std::string("cannot open the ") + decoder->name + " decoder");
    return context;
}

int bestStream(AVFormatContext* input, AVMediaType type) {
    const int index = av_find_best_stream(input, type, -1, -1, nullptr, 0);
    if (index < 0) {
        return -1;
    }
    // A cover picture is not a video track.
    if (type == AVMEDIA_TYPE_VIDEO &&
        (input->streams[index]->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
        for (unsigned i = 0; i < input->nb_streams; ++i) {
            const AVStream* stream = input->streams[i];
            if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
                !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    return index;
}

double durationSeconds(const AVFormatContext* input, const AVStream* stream) {
    if (input->duration != AV_NOPTS_VALUE && input->duration > 0) {
        return static_cast<double>(input->duration) / AV_TIME_BASE;
    }
    if (stream && stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        return static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    }
    return std::numeric_limits<double>::quiet_NaN();
}

int displayRotation(const AVStream* stream) {
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (!matrix) {
        return 0;
    }
    // av_display_rotation_get is counter-clockwise.
    const double angle = -av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (std::isnan(angle)) {
        return 0;
    }
    const int rounded = static_cast<int>(std::lround(angle / 90.0)) * 90;
    return ((rounded % 360) + 360) % 360;
}

namespace {

// The rate the encoder takes closest to the source's, preferring not to go below it.
int chooseSampleRate(const AVCodec* codec, int source) {
    if (!codec->supported_samplerates) {
        return source;
    }
    int best = 0;
    for (const int* rate = codec->supported_samplerates; *rate; ++rate) {
        if (*rate == source) {
            return source;
        }
        // Above the source, the lowest such rate; below it, only while nothing above was found,
        // the highest.
        const bool above = *rate > source;
        const bool bestAbove = best > source;
        const bool better = best == 0 || (above && (!bestAbove || *rate < best)) ||
                            (!above && !bestAbove && *rate > best);
        if (better) {
            best = *rate;
        }
    }
    return best;
}

std::string chooseLayout(const AVCodec* codec, const AVCodecContext* decoder) {
    AVChannelLayout layout{};
    if (decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&layout, decoder->ch_layout.nb_channels);
    } else {
        av_channel_layout_copy(&layout, &decoder->ch_layout);
    }
    bool supported = codec->ch_layouts == nullptr;
    for (const AVChannelLayout* candidate = codec->ch_layouts; candidate && candidate->nb_channels;
         ++candidate) {
        supported = supported || av_channel_layout_compare(candidate, &layout) == 0;
    }
    // FLAC and PCM take up to eight channels; AAC only its own layouts: downmix the rest.
    if (!supported || layout.nb_channels > 8) {
        av_channel_layout_uninit(&layout);
        layout = AV_CHANNEL_LAYOUT_STEREO;
    }
    char description[256] = {};
    av_channel_layout_describe(&layout, description, sizeof description);
    av_channel_layout_uninit(&layout);
    return description;
}

}  // namespace

std::string audioFormatFilter(const AVCodec* encoder, const AVCodecContext* decoder,
                              const char* sampleFormat) {
    const std::string rate = std::to_string(chooseSampleRate(encoder, decoder->sample_rate));
    return "aresample=" + rate + ",aformat=sample_fmts=" + sampleFormat + ":sample_rates=" + rate +
           ":channel_layouts=" + chooseLayout(encoder, decoder);
}

void decodePacket(AVCodecContext* decoder, const AVPacket* packet, AVFrame* frame,
                  DecodeTally& tally, const std::function<void(AVFrame*)>& onFrame) {
    const auto refused = [&tally](int code) {
        // Damage is the file's; running out of memory is not.
        if (code == AVERROR(ENOMEM)) {
            check(code, Stage::Converting, "cannot decode the input");
        }
        ++tally.rejected;
    };
    if (packet) {
        ++tally.packets;
    }
    const int sent = avcodec_send_packet(decoder, packet);
    if (sent < 0 && sent != AVERROR_EOF) {
        refused(sent);
    }
    while (true) {
        const int received = avcodec_receive_frame(decoder, frame);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
            return;
        }
        if (received < 0) {
            refused(received);
            continue;
        }
        ++tally.frames;
        onFrame(frame);
        av_frame_unref(frame);
    }
}

void readPackets(AVFormatContext* input, const std::function<bool(AVPacket*)>& handle,
                 ReadErrors errors) {
    Packet packet = makePacket();
    while (true) {
        const int read = av_read_frame(input, packet.get());
        if (read == AVERROR_EOF || (read < 0 && errors == ReadErrors::End)) {
            return;
        }
        check(read, Stage::Reading, "cannot read the input");
        const bool more = handle(packet.get());
        av_packet_unref(packet.get());
        if (!more) {
            return;
        }
    }
}

Output::Output(const std::string& path, const char* muxer) : m_path(path) {
    check(avformat_alloc_output_context2(&m_context, nullptr, muxer, path.c_str()),
          Stage::Converting,
          std::string("cannot set up the ") + (muxer ? muxer : "output") + " writer");
}

Output::~Output() {
    if (m_begun && !m_finished && m_context->pb) {
        avio_closep(&m_context->pb);
    }
    avformat_free_context(m_context);
}

AVStream* Output::addStream() {
    AVStream* stream = avformat_new_stream(m_context, nullptr);
    if (!stream) {
        outOfMemory();
    }
    m_packets.push_back(0);
    return stream;
}

bool Output::needsGlobalHeader() const {
    return (m_context->oformat->flags & AVFMT_GLOBALHEADER) != 0;
}

void Output::begin(AVDictionary** muxerOptions) {
    if (!(m_context->oformat->flags & AVFMT_NOFILE)) {
        check(avio_open(&m_context->pb, m_path.c_str(), AVIO_FLAG_WRITE), Stage::Writing,
              "cannot write the output");
    }
    m_begun = true;
    check(avformat_write_header(m_context, muxerOptions), Stage::Writing,
          "cannot start the output");
}

void Output::write(AVPacket* packet) {
    recordPacket(packet);
    check(av_interleaved_write_frame(m_context, packet), Stage::Writing, "cannot write the output");
}

void Output::recordPacket(const AVPacket* packet) {
    const auto index = static_cast<size_t>(packet->stream_index);
    const int64_t time = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (index >= m_packets.size() || time == AV_NOPTS_VALUE) {
        return;
    }
    ++m_packets[index];
    const AVStream* stream = m_context->streams[index];
    const double base = av_q2d(stream->time_base);
    double duration = static_cast<double>(packet->duration) * base;
    // Encoders of this FFmpeg leave a picture's duration out, and some containers a sound
    // packet's: a picture lasts a frame of the stream's rate, a sound packet its samples.
    const AVCodecParameters* codec = stream->codecpar;
    if (duration <= 0 && stream->avg_frame_rate.num > 0 && stream->avg_frame_rate.den > 0) {
        duration = av_q2d(av_inv_q(stream->avg_frame_rate));
    } else if (duration <= 0 && codec->frame_size > 0 && codec->sample_rate > 0) {
        duration = static_cast<double>(codec->frame_size) / codec->sample_rate;
    }
    const double start = static_cast<double>(time) * base;
    m_start = m_start ? std::min(*m_start, start) : start;
    m_end = std::max(m_end, start + duration);
}

void Output::finish() {
    check(av_write_trailer(m_context), Stage::Writing, "cannot finish the output");
    m_finished = true;
    if (m_context->pb) {
        check(avio_closep(&m_context->pb), Stage::Writing, "cannot close the output");
    }
}

long long Output::packetsWritten(int streamIndex) const {
    return m_packets.at(static_cast<size_t>(streamIndex));
}

double Output::secondsWritten() const {
    return m_start ? m_end - *m_start : 0.0;
}

void Output::requireContent() const {
    const bool everyStream =
        !m_packets.empty() && std::find(m_packets.begin(), m_packets.end(), 0) == m_packets.end();
    if (!everyStream || !(secondsWritten() > 0)) {
        throw damage("a track of the output is empty or has no length");
    }
}

}  // namespace pivana::media
