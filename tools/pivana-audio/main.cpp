// pivana-audio: converts the audio of one file (an audio file, or the soundtrack of a video).
//
//   pivana-audio --to FORMAT [--bitrate BITS_PER_SECOND] INPUT OUTPUT
//
//   FORMAT  m4a (AAC), wav (16-bit PCM), aiff (16-bit PCM), aac (AAC in ADTS), flac,
//           mp3 (LAME, ID3v2.3 tags), opus (Opus in Ogg)
//   --bitrate  for the lossy targets (m4a, aac, mp3, opus), 8000 to 1000000, brought within what
//              the encoder takes (MP3 up to 320 kbit/s); 256 kbit/s without it
//
// Keeps the sample rate and channels where the target allows, and the tags (with cover art where
// the container carries it: an attached picture, or in Ogg the picture comment). Exit status 0 on
// success, 2 for a command line it cannot act on; on failure 1, one sentence on standard error and
// OUTPUT left as it was. With PIVANA_PROGRESS set, prints "progress FRACTION" lines on standard
// output.
#include "common/MediaTool.h"
#include "engine/Formats.h"
#include "media/Media.h"
#include "media/MovieExport.h"
#include "media/StreamTranscoder.h"

extern "C" {
#include <libavutil/base64.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

using namespace pivana::media;
using pivana::formats::AudioEncoding;
using pivana::tools::progressLines;
using pivana::tools::runConversion;
using pivana::tools::UsageError;

// A lossy target without a bit rate given (a video's soundtrack) is encoded at this rate.
constexpr long defaultBitRate = 256000;

struct Request {
    std::string input;
    std::string output;
    const AudioEncoding* target = nullptr;
    long bitRate = 0;  // for a lossy target, within what its encoder takes; else 0
};

long parseBitRate(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long bitRate = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || bitRate < 8000 || bitRate > 1000000) {
        throw UsageError(
            "bit rate must be a whole number of bits per second from 8000 to "
            "1000000, not " +
            text);
    }
    return bitRate;
}

std::string targetNames() {
    std::string names;
    for (const AudioEncoding& encoding : pivana::formats::audioEncodings) {
        names += (names.empty() ? "" : ", ") + std::string(encoding.format);
    }
    return names;
}

Request parse(int argc, char** argv) {
    const pivana::tools::CommandLine line =
        pivana::tools::parseCommandLine(argc, argv, {"bitrate"});
    Request request;
    request.target = pivana::formats::audioEncoding(line.format);
    if (!request.target) {
        throw UsageError("unknown target format " + line.format + " (one of " + targetNames() +
                         ")");
    }
    if (const auto given = line.options.find("bitrate"); given != line.options.end()) {
        const long bitRate = parseBitRate(given->second);
        request.bitRate = request.target->lossy ? bitRate : 0;
    }
    if (request.target->lossy) {
        request.bitRate = std::clamp(request.bitRate > 0 ? request.bitRate : defaultBitRate,
                                     request.target->minBitRate, request.target->maxBitRate);
    }
    request.input = line.input;
    request.output = line.output;
    return request;
}

// The picture a file carries as its cover, when it is one a target can take.
const AVStream* findCover(AVFormatContext* input) {
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        const AVCodecID codec = stream->codecpar->codec_id;
        if ((stream->disposition & AV_DISPOSITION_ATTACHED_PIC) && stream->attached_pic.size > 0 &&
            (codec == AV_CODEC_ID_MJPEG || codec == AV_CODEC_ID_PNG)) {
            return stream;
        }
    }
    return nullptr;
}

// The encoder for the target, at the request's bit rate, and the filters that turn the decoded
// sound into what it takes. FLAC keeps a deep source 24-bit; the lossy encoders take floats.
struct Encoding {
    EncoderSettings settings;
    std::string filters;
};

const char* sampleFormatFor(const std::string& encoder, bool deepFlac) {
    if (encoder == "aac" || encoder == "libmp3lame") {
        return "fltp";
    }
    if (encoder == "libopus") {
        return "flt";
    }
    return deepFlac ? "s32" : "s16";
}

Encoding chooseEncoding(const AudioEncoding& target, const AVStream* sound, long bitRate) {
    const std::string encoder = target.encoder;
    const bool deepFlac = encoder == "flac" && (sound->codecpar->bits_per_raw_sample > 16 ||
                                                sound->codecpar->bits_per_coded_sample > 16);
    const AVCodec* codec = avcodec_find_encoder_by_name(target.encoder);
    if (!codec) {
        throw pivana::Failure(std::string("This system's FFmpeg has no ") + target.encoder +
                              " encoder");
    }
    const Codec probe = openDecoder(sound);
    Encoding encoding;
    encoding.filters = audioFormatFilter(codec, probe.get(), sampleFormatFor(encoder, deepFlac));
    encoding.settings.encoder = encoder;
    encoding.settings.configure = [bitRate, deepFlac](AVCodecContext* context) {
        if (bitRate > 0) {
            context->bit_rate = bitRate;
        }
        if (deepFlac) {
            context->bits_per_raw_sample = 24;
        }
    };
    return encoding;
}

// The file's tags, then the sound track's own where the file has none of that name.
void copyTags(AVFormatContext* input, const AVStream* sound, Output& output) {
    av_dict_copy(&output.context()->metadata, input->metadata, 0);
    av_dict_copy(&output.context()->metadata, sound->metadata, AV_DICT_DONT_OVERWRITE);
}

AVStream* addCoverStream(const AVStream* cover, Output& output) {
    AVStream* stream = output.addStream();
    check(avcodec_parameters_copy(stream->codecpar, cover->codecpar), Stage::Converting,
          "cannot copy the cover art");
    stream->codecpar->codec_tag = 0;
    stream->disposition = AV_DISPOSITION_ATTACHED_PIC;
    stream->time_base = AVRational{1, 90000};
    av_dict_copy(&stream->metadata, cover->metadata, 0);
    return stream;
}

// A cover is one packet, written right after the header.
void writeCover(const AVStream* cover, const AVStream* stream, Output& output) {
    Packet picture = makePacket();
    check(av_packet_ref(picture.get(), &cover->attached_pic), Stage::Converting,
          "cannot copy the cover art");
    picture->stream_index = stream->index;
    picture->pts = picture->dts = 0;
    output.write(picture.get());
}

bool isOgg(const AudioEncoding& target) {
    return std::string(target.muxer) == "ogg";
}

void appendBigEndian(std::string& block, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        block += static_cast<char>((value >> shift) & 0xff);
    }
}

// Ogg files carry their cover as a comment: a FLAC picture block (front cover, its MIME type,
// no description, its size) in base64, as players of Opus and Vorbis files read it.
void addCoverComment(const AVStream* cover, Output& output) {
    const bool png = cover->codecpar->codec_id == AV_CODEC_ID_PNG;
    const std::string mime = png ? "image/png" : "image/jpeg";
    std::string block;
    appendBigEndian(block, 3);  // front cover
    appendBigEndian(block, static_cast<uint32_t>(mime.size()));
    block += mime;
    appendBigEndian(block, 0);  // no description
    appendBigEndian(block, static_cast<uint32_t>(std::max(cover->codecpar->width, 0)));
    appendBigEndian(block, static_cast<uint32_t>(std::max(cover->codecpar->height, 0)));
    appendBigEndian(block, 24);  // colour depth
    appendBigEndian(block, 0);   // not indexed
    appendBigEndian(block, static_cast<uint32_t>(cover->attached_pic.size));
    block.append(reinterpret_cast<const char*>(cover->attached_pic.data),
                 static_cast<size_t>(cover->attached_pic.size));
    std::string encoded(AV_BASE64_SIZE(block.size()), '\0');
    if (!av_base64_encode(encoded.data(), static_cast<int>(encoded.size()),
                          reinterpret_cast<const uint8_t*>(block.data()),
                          static_cast<int>(block.size()))) {
        return;  // a cover too large to encode is left out, as in containers without covers
    }
    encoded.resize(std::strlen(encoded.c_str()));
    av_dict_set(&output.context()->metadata, "METADATA_BLOCK_PICTURE", encoded.c_str(), 0);
}

void beginOutput(const AudioEncoding& target, Output& output) {
    Options muxerOptions;
    const std::string muxer = target.muxer;
    if (muxer == "aiff") {
        muxerOptions.set("write_id3v2", "1");  // tags and cover live in ID3 there
    }
    if (muxer == "mp3") {
        muxerOptions.set("id3v2_version", "3");  // the version every player reads
    }
    output.begin(muxerOptions.get());
}

// The share of the sound converted, from the seconds reached.
std::function<void(double)> progressOver(double duration) {
    if (!std::isfinite(duration) || duration <= 0) {
        return {};
    }
    return [duration, lines = progressLines()](double seconds) { lines(seconds / duration); };
}

void transcodeSound(AVFormatContext* input, StreamTranscoder& transcoder) {
    readPackets(input, [&](AVPacket* packet) {
        if (packet->stream_index == transcoder.inputIndex()) {
            transcoder.send(packet);
        }
        return true;
    });
    transcoder.finish();
    if (!transcoder.madeOutput()) {
        throw damage("the sound does not decode, or lasts less than a millisecond");
    }
}

// The stages of one conversion: open the input and find its sound, open the output with the
// encoder, tags and cover, run the sound through, write the trailer.
void convert(const Request& request, const std::string& staging) {
    const AudioEncoding& target = *request.target;
    const Input input = openInput(request.input);
    const AVStream* sound = soundtrack(input.get()).front();
    const Encoding encoding = chooseEncoding(target, sound, request.bitRate);

    Output output(staging, target.muxer);
    StreamTranscoder transcoder(sound, encoding.filters, encoding.settings, output);
    copyTags(input.get(), sound, output);
    const AVStream* cover = target.coverArt ? findCover(input.get()) : nullptr;
    if (cover && isOgg(target)) {
        addCoverComment(cover, output);
        cover = nullptr;
    }
    const AVStream* coverStream = cover ? addCoverStream(cover, output) : nullptr;
    beginOutput(target, output);
    if (cover) {
        writeCover(cover, coverStream, output);
    }

    transcoder.onProgress = progressOver(durationSeconds(input.get(), sound));
    transcodeSound(input.get(), transcoder);
    output.finish();
    output.requireContent();
}

}  // namespace

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_QUIET);
    Request request;
    try {
        request = parse(argc, argv);
    } catch (const UsageError& error) {
        std::fprintf(
            stderr,
            "%s\nusage: pivana-audio --to FORMAT [--bitrate BITS_PER_SECOND] INPUT OUTPUT\n",
            error.what());
        return 2;
    }
    return runConversion(request.input, request.output,
                         [&request](const std::string& staging) { convert(request, staging); });
}
