#pragma once

// RAII handles and helpers over the FFmpeg libraries. Plain C++ (no Qt), so that both the
// converters and pivana-audio use them; FFmpeg failures become `MediaError` here and nowhere else.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

namespace pivana::media {

class MediaError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// FFmpeg's text for an error code.
std::string errorText(int code);

/// Throws "<what>: <FFmpeg's text>" when `code` is negative; returns it otherwise.
int check(int code, const std::string& what);

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

/// Opens a media file and reads its stream information. Throws "Not a readable media file"
/// (with FFmpeg's reason on a second line) when FFmpeg cannot make sense of it.
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
/// false to stop early. The packet is released after each call.
void readPackets(AVFormatContext* input, const std::function<bool(AVPacket*)>& handle,
                 ReadErrors errors = ReadErrors::Fail);

/// A file being written: the muxer, its streams and its file handle.
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

private:
    AVFormatContext* m_context = nullptr;
    std::string m_path;
    bool m_begun = false;
    bool m_finished = false;
};

}  // namespace pivana::media
