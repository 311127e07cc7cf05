#pragma once

#include "media/Media.h"

extern "C" {
#include <libavfilter/avfilter.h>
}

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace pivana::media {

/// How a stream is encoded: FFmpeg's encoder name, its private options, and a hook that sets
/// anything else (bit rate, ...) before it opens.
struct EncoderSettings {
    std::string encoder;
    std::vector<std::pair<std::string, std::string>> options;
    std::function<void(AVCodecContext*)> configure;
};

/// One input stream decoded, passed through an FFmpeg filter chain, encoded and written as one
/// stream of an output: the named stages of a transcode, without the loop that feeds them.
class StreamTranscoder {
public:
    /// `filters` is a filter chain in FFmpeg's syntax ("scale=640:-2,format=yuv420p"), empty for
    /// none. The output stream is added and its encoder opened at once, so every transcoder of an
    /// output must exist before `Output::begin`.
    StreamTranscoder(const AVStream* input, const std::string& filters,
                     const EncoderSettings& encoder, Output& output);
    StreamTranscoder(const StreamTranscoder&) = delete;
    StreamTranscoder& operator=(const StreamTranscoder&) = delete;

    int inputIndex() const { return m_inputIndex; }
    AVStream* outputStream() const { return m_outputStream; }
    AVCodecContext* encoder() const { return m_encoder.get(); }

    /// Stops after this many frames have been encoded; further input is ignored.
    void setFrameLimit(long long frames) { m_frameLimit = frames; }
    bool reachedLimit() const { return m_frameLimit >= 0 && m_framesEncoded >= m_frameLimit; }
    long long framesEncoded() const { return m_framesEncoded; }
    /// How the input stream decoded so far.
    const DecodeTally& decoding() const { return m_decoding; }

    /// Called with the input time reached, in seconds, as frames are decoded.
    std::function<void(double)> onProgress;
    /// Called with each decoded frame before it enters the filters.
    std::function<void(AVFrame*)> onDecodedFrame;

    /// Feeds one packet of the input stream.
    void send(const AVPacket* packet);
    /// Drains the decoder, the filters and the encoder.
    void finish();
    /// Called with each encoded packet, its times in the encoder's time base, before it is
    /// written.
    std::function<void(AVPacket*)> onEncodedPacket;

    /// After `finish`: the input decoded (`DecodeTally::decodes`), frames were encoded, and sound
    /// lasts at least `shortestSound` seconds.
    bool madeOutput() const;
    /// Less sound than this is a file cut off just past its header: its few samples round to no
    /// time at all and play as nothing, whatever the header says the file holds.
    static constexpr double shortestSound = 0.001;

private:
    struct GraphDeleter {
        void operator()(AVFilterGraph* graph) const { avfilter_graph_free(&graph); }
    };

    void buildFilters(const std::string& filters);
    std::string sourceArguments() const;
    void linkFilters(const std::string& chain);
    void openEncoder(const EncoderSettings& settings);
    void addOutputStream();
    void filter(AVFrame* frame);
    void pullFilteredFrames();
    void encode(AVFrame* frame);

    const AVStream* m_input;
    int m_inputIndex;
    Output& m_output;
    Codec m_decoder;
    Codec m_encoder;
    // Owns every filter in it, the source and the sink too.
    std::unique_ptr<AVFilterGraph, GraphDeleter> m_graph;
    AVFilterContext* m_source = nullptr;
    AVFilterContext* m_sink = nullptr;
    AVStream* m_outputStream = nullptr;
    Frame m_decoded = makeFrame();
    Frame m_filtered = makeFrame();
    Packet m_encoded = makePacket();
    DecodeTally m_decoding;
    // Where the last decoded frame ends, in the input's time base: the filters' end of input, so
    // that a sampling filter gives a clip shorter than its step the frame it holds.
    int64_t m_inputEnd = AV_NOPTS_VALUE;
    long long m_frameLimit = -1;
    long long m_framesEncoded = 0;
    // Seconds of sound decoded; pictures leave it at 0.
    double m_soundDecoded = 0;
    bool m_encoderFlushed = false;
};

/// Copies the packet of an input stream into an output stream unchanged (a remux).
void copyPacket(AVPacket* packet, const AVStream* input, AVStream* output, Output& file);

}  // namespace pivana::media
