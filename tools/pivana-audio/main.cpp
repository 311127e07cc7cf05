// pivana-audio: converts the audio of one file (an audio file, or the soundtrack of a video).
//
//   pivana-audio INPUT -f FILETYPE -d DATAFORMAT [-b BITS_PER_SECOND] OUTPUT
//
//   FILETYPE/DATAFORMAT: WAVE/LEI16, m4af/"aac ", adts/"aac ", AIFF/"I16 ", flac/flac
//
// Keeps the sample rate and channels where the target allows, and the tags (with cover art where
// the container carries it). Exit status 0 on success; on failure one line on standard error and
// OUTPUT left as it was. With PIVANA_PROGRESS set, prints "progress FRACTION" lines on standard
// output.
#include "common/StagedOutput.h"
#include "media/Media.h"
#include "media/StreamTranscoder.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

using namespace pivana::media;
using pivana::tools::fileName;

struct Target {
    const char* fileType;
    const char* dataFormat;
    const char* muxer;
    const char* encoder;
    bool coverArt;  // the container can carry a cover picture
};

constexpr std::array targets = {
    Target{"WAVE", "LEI16", "wav", "pcm_s16le", false},
    Target{"m4af", "aac ", "ipod", "aac", true},
    Target{"adts", "aac ", "adts", "aac", false},
    Target{"AIFF", "I16 ", "aiff", "pcm_s16be", true},
    Target{"flac", "flac", "flac", "flac", true},
};

struct Request {
    std::string input;
    std::string output;
    const Target* target = nullptr;
    long bitRate = 0;
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

Request parse(int argc, char** argv) {
    Request request;
    std::string fileType;
    std::string dataFormat;
    bool haveFileType = false;
    bool haveDataFormat = false;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                throw UsageError("missing value after " + argument);
            }
            return argv[++i];
        };
        if (argument == "-f") {
            fileType = value();
            haveFileType = true;
        } else if (argument == "-d") {
            dataFormat = value();
            haveDataFormat = true;
        } else if (argument == "-b") {
            const std::string text = value();
            char* end = nullptr;
            request.bitRate = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || request.bitRate < 8000 ||
                request.bitRate > 1000000) {
                throw UsageError("bit rate must be a whole number of bits per second, not " + text);
            }
        } else {
            paths.push_back(argument);
        }
    }
    if (paths.size() != 2 || !haveFileType || !haveDataFormat) {
        throw UsageError(
            "usage: pivana-audio INPUT -f FILETYPE -d DATAFORMAT [-b BITS_PER_SECOND] OUTPUT");
    }
    for (const Target& target : targets) {
        if (fileType == target.fileType && dataFormat == target.dataFormat) {
            request.target = &target;
        }
    }
    if (!request.target) {
        throw UsageError("unsupported file type and data format: " + fileType + " / " + dataFormat);
    }
    request.input = paths[0];
    request.output = paths[1];
    return request;
}

int findCover(AVFormatContext* input) {
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        const AVCodecID codec = stream->codecpar->codec_id;
        if ((stream->disposition & AV_DISPOSITION_ATTACHED_PIC) && stream->attached_pic.size > 0 &&
            (codec == AV_CODEC_ID_MJPEG || codec == AV_CODEC_ID_PNG)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void convert(const Request& request, const std::string& staging) {
    Input input = openInput(request.input);
    const int audioIndex = bestStream(input.get(), AVMEDIA_TYPE_AUDIO);
    if (audioIndex < 0) {
        throw MediaError("the file has no audio track");
    }
    const AVStream* audio = input->streams[audioIndex];
    const Target& target = *request.target;
    const AVCodec* codec = avcodec_find_encoder_by_name(target.encoder);
    Codec probe = openDecoder(audio);

    const bool deepFlac =
        std::string(target.encoder) == "flac" &&
        (audio->codecpar->bits_per_raw_sample > 16 || audio->codecpar->bits_per_coded_sample > 16);
    const char* sampleFormat = std::string(target.encoder) == "aac" ? "fltp"
                               : deepFlac                           ? "s32"
                                                                    : "s16";
    const std::string filters = audioFormatFilter(codec, probe.get(), sampleFormat);

    Output output(staging, target.muxer);
    EncoderSettings settings{target.encoder, {}, nullptr};
    const long bitRate = request.bitRate;
    settings.configure = [bitRate, deepFlac](AVCodecContext* encoder) {
        if (bitRate > 0) {
            encoder->bit_rate = bitRate;
        } else if (encoder->codec_id == AV_CODEC_ID_AAC) {
            encoder->bit_rate = 256000;
        }
        if (deepFlac) {
            encoder->bits_per_raw_sample = 24;
        }
    };
    StreamTranscoder transcoder(audio, filters, settings, output);

    av_dict_copy(&output.context()->metadata, input->metadata, 0);
    av_dict_copy(&output.context()->metadata, audio->metadata, AV_DICT_DONT_OVERWRITE);

    const int coverIndex = target.coverArt ? findCover(input.get()) : -1;
    AVStream* cover = nullptr;
    if (coverIndex >= 0) {
        cover = output.addStream();
        check(avcodec_parameters_copy(cover->codecpar, input->streams[coverIndex]->codecpar),
              "cannot copy the cover art");
        cover->codecpar->codec_tag = 0;
        cover->disposition = AV_DISPOSITION_ATTACHED_PIC;
        cover->time_base = AVRational{1, 90000};
        av_dict_copy(&cover->metadata, input->streams[coverIndex]->metadata, 0);
    }

    AVDictionary* muxerOptions = nullptr;
    if (std::string(target.muxer) == "aiff") {
        av_dict_set(&muxerOptions, "write_id3v2", "1", 0);  // tags and cover live in ID3 there
    }
    output.begin(&muxerOptions);
    av_dict_free(&muxerOptions);
    if (cover) {
        Packet picture = makePacket();
        check(av_packet_ref(picture.get(), &input->streams[coverIndex]->attached_pic),
              "cannot copy the cover art");
        picture->stream_index = cover->index;
        picture->pts = picture->dts = 0;
        output.write(picture.get());
    }

    const double duration = durationSeconds(input.get(), audio);
    if (std::getenv("PIVANA_PROGRESS") && std::isfinite(duration) && duration > 0) {
        transcoder.onProgress = [duration, last = -1.0](double seconds) mutable {
            const double fraction = std::min(1.0, std::max(0.0, seconds / duration));
            if (fraction - last >= 0.01) {
                last = fraction;
                std::printf("progress %.3f\n", fraction);
                std::fflush(stdout);
            }
        };
    }

    readPackets(input.get(), [&](AVPacket* packet) {
        if (packet->stream_index == audioIndex) {
            transcoder.send(packet);
        }
        return true;
    });
    transcoder.finish();
    if (transcoder.framesEncoded() == 0) {
        throw MediaError("the audio track holds no sound that can be decoded");
    }
    output.finish();
}

std::string oneLine(std::string text) {
    for (auto position = text.find('\n'); position != std::string::npos;
         position = text.find('\n')) {
        text.replace(position, 1, ": ");
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_QUIET);
    Request request;
    try {
        request = parse(argc, argv);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 2;
    }
    if (::access(request.input.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "%s: cannot open the file: %s\n", fileName(request.input).c_str(),
                     std::strerror(errno));
        return 1;
    }
    pivana::tools::StagedOutput output(request.output);
    try {
        convert(request, output.path());
    } catch (const MediaError& error) {
        std::string message = oneLine(error.what());
        if (!message.empty()) {
            message[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(message[0])));
        }
        std::fprintf(stderr, "%s: %s\n", fileName(request.input).c_str(), message.c_str());
        return 1;
    }
    if (const std::string reason = output.commit(); !reason.empty()) {
        std::fprintf(stderr, "%s: cannot save the output: %s\n", fileName(request.output).c_str(),
                     reason.c_str());
        return 1;
    }
    return 0;
}
