#pragma once

// RAII handles and helpers over the FFmpeg libraries. Plain C++ (no Qt), so that both the
// converters and pivana-audio use them; FFmpeg failures become a `Failure` here and nowhere else.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include "engine/Failure.h"

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace pivana::media {

/// What a conversion was doing when FFmpeg failed, which says whose fault an error code is: the
/// source's (reading, decoding), the output's (writing), or neither (converting: filters and
/// encoders refusing what they were given).
enum class Stage { Reading, Decoding, Converting, Writing };

/// A failed FFmpeg call in plain words: the kind its stage and error code say (a system error of
/// reading or writing as such, whatever else a reader or decoder met as damage in the file), or,
/// for filters, encoders and writers that refuse what they are given, that the picture or sound
/// cannot be converted. `what` names the call; it and FFmpeg's text are the detail.
Failure ffmpegFailure(Stage stage, int code, const std::string& what);

/// The source holds nothing that plays where it should: `what` says what was missing.
inline Failure damage(const std::string& what) {
    return ffmpegFailure(Stage::Decoding, AVERROR_INVALIDDATA, what);
}

/// The words for a file FFmpeg cannot make sense of.
inline constexpr const char* notReadable = "Not a readable media file";

/// FFmpeg's text for an error code.
std::string errorText(int code);

/// Throws the `ffmpegFailure` of `stage` when `code` is negative; returns it otherwise.
int check(int code, Stage stage, const std::string& what);

struct InputDeleter {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using Input = std::unique_ptr<AVFormatContext, InputDeleter>;

struct CodecDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
using Codec = std::unique_ptr<AVCodecContext, CodecDeleter>;

struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;

struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using Packet = std::unique_ptr<AVPacket, PacketDeleter>;

Frame makeFrame();
Packet makePacket();

/// Options for FFmpeg to open something with (a reader, a writer, an encoder), freed on every way
/// out. FFmpeg takes out the entries it used and leaves the rest.
class Options {
public:
    Options(std::initializer_list<std::pair<std::string, std::string>> entries = {});
    ~Options();
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;

    void set(const std::string& key, const std::string& value);
    AVDictionary** get() { return &m_dictionary; }

private:
    AVDictionary* m_dictionary = nullptr;
};

/// Opens a media file and reads its stream information. Throws `notReadable` when FFmpeg cannot
/// make sense of it, and a reading error when the file cannot be opened at all.
Input openInput(const std::string& path, AVDictionary** options = nullptr);

/// A decoder for the stream, opened. Throws when FFmpeg has none for its codec.
Codec openDecoder(const AVStream* stream);

/// The best stream of a type, or -1.
int bestStream(AVFormatContext* input, AVMediaType type);

/// Duration in seconds of the file (or of the stream when the file does not say); NaN when
/// neither is known.
double durationSeconds(const AVFormatContext* input, const AVStream* stream = nullptr);

/// Clockwise rotation, in degrees (0, 90, 180 or 270), a player applies when showing the stream.
int displayRotation(const AVStream* stream);

/// The filter chain that turns decoded audio into what `encoder` takes: the source's sample rate
/// (or the nearest the encoder has), its channel layout (stereo when the encoder has no such
/// layout), and `sampleFormat` ("fltp", "s16", ...).
std::string audioFormatFilter(const AVCodec* encoder, const AVCodecContext* decoder,
                              const char* sampleFormat);

/// What a read error in the middle of an input means.
enum class ReadErrors {
    Fail,  ///< the conversion fails with FFmpeg's reason
    End,   ///< the input ends there, as a player would stop (a GIF with a damaged tail)
};

/// Reads every packet of the input in file order and hands each to `handle`, which answers
/// false to stop early. The packet is released after each call. A read error in the middle of a
/// file counts as damage.
void readPackets(AVFormatContext* input, const std::function<bool(AVPacket*)>& handle,
                 ReadErrors errors = ReadErrors::Fail);

/// How the packets of one stream decoded: enough to tell a stream that plays, perhaps with a few
/// damaged packets skipped as players skip them, from one that is mostly or wholly undecodable.
struct DecodeTally {
    long long packets = 0;   ///< packets given to the decoder
    long long rejected = 0;  ///< of those, packets the decoder refused
    long long frames = 0;    ///< frames it gave back

    /// Some frames came out, and no more packets were refused than frames came out.
    bool decodes() const { return frames > 0 && rejected <= frames; }
};

/// Sends a packet to a decoder (null to drain it) and hands each frame it gives back to
/// `onFrame`, counting in `tally`. A packet the decoder refuses is counted and skipped, as players
/// skip damaged packets; only running out of memory stops the conversion.
void decodePacket(AVCodecContext* decoder, const AVPacket* packet, AVFrame* frame,
                  DecodeTally& tally, const std::function<void(AVFrame*)>& onFrame);

/// A file being written: the muxer, its streams and its file handle. It counts what it writes,
/// so that a conversion can tell a real output from a file with a header and nothing in it.
class Output {
public:
    /// `muxer` is FFmpeg's short name ("mp4", "mov", "ipod", "adts", "wav", "aiff", "flac",
    /// "gif"), or null to choose by the file name.
    Output(const std::string& path, const char* muxer);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    AVFormatContext* context() const { return m_context; }
    AVStream* addStream();
    bool needsGlobalHeader() const;
    /// Opens the file and writes the header.
    void begin(AVDictionary** muxerOptions = nullptr);
    /// Takes the packet's data; its stream index and timestamps must be set for the output.
    void write(AVPacket* packet);
    /// Writes the trailer and closes the file.
    void finish();

    /// Packets written to each stream so far.
    long long packetsWritten(int streamIndex) const;
    /// Where the output's last packet ends, in seconds from its first.
    double secondsWritten() const;
    /// Throws `damage` unless every stream received packets and the output lasts
    /// some time.
    void requireContent() const;

private:
    void recordPacket(const AVPacket* packet);

    AVFormatContext* m_context = nullptr;
    std::string m_path;
    bool m_begun = false;
    bool m_finished = false;
    std::vector<long long> m_packets;
    std::optional<double> m_start;
    double m_end = 0;
};

}  // namespace pivana::media
