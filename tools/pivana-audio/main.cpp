// pivana-audio: converts the audio of one file (an audio file, or the soundtrack of a video).
//
//   pivana-audio --to FORMAT [--bitrate BITS_PER_SECOND] INPUT OUTPUT
//
//   FORMAT  m4a (AAC), wav (16-bit PCM), aiff (16-bit PCM), aac (AAC in ADTS), flac
//   --bitrate  for the lossy targets (m4a, aac), 8000 to 1000000; AAC is 256 kbit/s without it
//
// Keeps the sample rate and channels where the target allows, and the tags (with cover art where
// the container carries it). Exit status 0 on success, 2 for a command line it cannot act on; on
// failure 1, one sentence on standard error and OUTPUT left as it was. With PIVANA_PROGRESS set,
// prints "progress FRACTION" lines on standard output.
#include "common/MediaTool.h"
#include "engine/Formats.h"
#include "media/Media.h"
#include "media/MovieExport.h"
#include "media/StreamTranscoder.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

using namespace pivana::media;
using pivana::formats::AudioEncoding;
using pivana::tools::progressLines;
using pivana::tools::runConversion;
using pivana::tools::UsageError;

struct Request {
    std::string input;
    std::string output;
    const AudioEncoding* target = nullptr;
    long bitRate = 0;  // for a lossy target; 0 for the encoder's default
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

// The encoder for the target, at the request's bit rate (256 kbit/s for AAC without one), and
// the filters that turn the decoded sound into what it takes. FLAC keeps a deep source 24-bit.
struct Encoding {
    EncoderSettings settings;
    std::string filters;
};

Encoding chooseEncoding(const AudioEncoding& target, const AVStream* sound, long bitRate) {
    const std::string encoder = target.encoder;
    const bool deepFlac = encoder == "flac" && (sound->codecpar->bits_per_raw_sample > 16 ||
                                                sound->codecpar->bits_per_coded_sample > 16);
    const char* sampleFormat = encoder == "aac" ? "fltp" : deepFlac ? "s32" : "s16";
    const Codec probe = openDecoder(sound);
    Encoding encoding;
    encoding.filters =
        audioFormatFilter(avcodec_find_encoder_by_name(target.encoder), probe.get(), sampleFormat);
    encoding.settings.encoder = encoder;
    encoding.settings.configure = [bitRate, deepFlac](AVCodecContext* context) {
        if (bitRate > 0) {
            context->bit_rate = bitRate;
        } else if (context->codec_id == AV_CODEC_ID_AAC) {
            context->bit_rate = 256000;
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

void beginOutput(const AudioEncoding& target, Output& output) {
    Options muxerOptions;
    if (std::string(target.muxer) == "aiff") {
        muxerOptions.set("write_id3v2", "1");  // tags and cover live in ID3 there
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
