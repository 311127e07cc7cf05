#include "media/MovieExport.h"

#include "media/MovieFormat.h"
#include "media/StreamTranscoder.h"

#include <cmath>
#include <cstring>
#include <memory>

namespace pivana::media {

namespace {

// A copied stream is decoded on the side, so that what goes into the output is known to play:
// pictures until the first one comes out (decoding a whole film would cost far more than copying
// it), sound for its first few hundred frames, which costs little. A stream that never gets there
// is judged on all of it.
class CopyCheck {
public:
    explicit CopyCheck(const AVStream* stream)
        : m_decoder(openDecoder(stream)),
          m_enough(stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO ? 1 : 500) {}

    void look(const AVPacket* packet) {
        if (!settled()) {
            decodePacket(m_decoder.get(), packet, m_frame.get(), m_tally, [](AVFrame*) {});
        }
    }

    bool decodes() {
        if (!settled()) {
            decodePacket(m_decoder.get(), nullptr, m_frame.get(), m_tally, [](AVFrame*) {});
        }
        return m_tally.decodes();
    }

private:
    bool settled() const { return m_tally.frames >= m_enough && m_tally.decodes(); }

    Codec m_decoder;
    long long m_enough;
    Frame m_frame = makeFrame();
    DecodeTally m_tally;
};

// One kept input stream and where its packets go: copied as they are, or encoded.
struct Track {
    const AVStream* input = nullptr;
    AVStream* copyTo = nullptr;
    std::unique_ptr<CopyCheck> copyCheck;
    std::unique_ptr<StreamTranscoder> transcoder;
};

// By input stream index; the streams left behind have an empty entry.
using TrackTable = std::vector<Track>;

void copySideData(const AVStream* from, AVStream* to) {
    for (int i = 0; i < from->nb_side_data; ++i) {
        const AVPacketSideData& data = from->side_data[i];
        uint8_t* copy = av_stream_new_side_data(to, data.type, data.size);
        if (copy) {
            std::memcpy(copy, data.data, data.size);
        }
    }
}

AVStream* addCopiedStream(Output& output, const AVStream* input) {
    AVStream* stream = output.addStream();
    check(avcodec_parameters_copy(stream->codecpar, input->codecpar), Stage::Converting,
          "cannot copy a stream");
    // The writer chooses the tag for its container; the source's may belong to another.
    stream->codecpar->codec_tag = 0;
    if (input->codecpar->codec_id == AV_CODEC_ID_HEVC) {
        // The tag Apple's players need for HEVC in MP4 and QuickTime files.
        stream->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');
    }
    stream->time_base = input->time_base;
    stream->avg_frame_rate = input->avg_frame_rate;
    stream->disposition = input->disposition;
    av_dict_copy(&stream->metadata, input->metadata, 0);
    copySideData(input, stream);
    return stream;
}

std::unique_ptr<StreamTranscoder> addEncodedStream(Output& output, const AVStream* input,
                                                   std::string_view target) {
    if (input->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
        return std::make_unique<StreamTranscoder>(input, soundFilters(input, target),
                                                  soundEncoder(target), output);
    }
    auto transcoder = std::make_unique<StreamTranscoder>(input, pictureFilters(input, target),
                                                         pictureEncoder(input, target), output);
    if (keepsRotation(target)) {
        // Rotation stays a display instruction, as in the source.
        copySideData(input, transcoder->outputStream());
    }
    return transcoder;
}

// Every output stream exists before the header is written.
TrackTable openTracks(AVFormatContext* input, const Tracks& kept, std::string_view target,
                      Output& output) {
    TrackTable table(input->nb_streams);
    for (const AVStream* stream : kept) {
        Track& track = table[static_cast<size_t>(stream->index)];
        track.input = stream;
        if (canCopy(stream->codecpar->codec_id, target)) {
            track.copyTo = addCopiedStream(output, stream);
            track.copyCheck = std::make_unique<CopyCheck>(stream);
        } else {
            track.transcoder = addEncodedStream(output, stream, target);
        }
    }
    return table;
}

void runPackets(AVFormatContext* input, TrackTable& table, Output& output,
                const std::function<void(double)>& progress) {
    const double duration = durationSeconds(input);
    readPackets(input, [&](AVPacket* packet) {
        // Some containers announce streams only once they start; those were never chosen.
        const auto index = static_cast<size_t>(packet->stream_index);
        if (index >= table.size() || !table[index].input) {
            return true;
        }
        Track& track = table[index];
        if (progress && std::isfinite(duration) && duration > 0 && packet->pts != AV_NOPTS_VALUE) {
            progress(static_cast<double>(packet->pts) * av_q2d(track.input->time_base) / duration);
        }
        if (track.copyTo) {
            track.copyCheck->look(packet);
            copyPacket(packet, track.input, track.copyTo, output);
        } else {
            track.transcoder->send(packet);
        }
        return true;
    });
}

void flushEncoders(TrackTable& table) {
    for (Track& track : table) {
        if (track.transcoder) {
            track.transcoder->finish();
        }
    }
}

// Every kept track plays: what was encoded came from decoded frames, what was copied decodes.
void requirePlayableTracks(TrackTable& table) {
    for (Track& track : table) {
        const bool playable = track.transcoder  ? track.transcoder->madeOutput()
                              : track.copyCheck ? track.copyCheck->decodes()
                                                : true;
        if (!playable) {
            throw damage("a track does not decode");
        }
    }
}

}  // namespace

Tracks movieTracks(AVFormatContext* input) {
    Tracks kept;
    const int videoIndex = bestStream(input, AVMEDIA_TYPE_VIDEO);
    if (videoIndex >= 0) {
        kept.push_back(input->streams[videoIndex]);
    }
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            kept.push_back(input->streams[i]);
        }
    }
    if (kept.empty()) {
        throw Failure(std::string(notReadable));
    }
    return kept;
}

Tracks soundtrack(AVFormatContext* input) {
    const int audioIndex = bestStream(input, AVMEDIA_TYPE_AUDIO);
    if (audioIndex < 0) {
        throw Failure(std::string(bestStream(input, AVMEDIA_TYPE_VIDEO) >= 0
                                      ? "The video has no soundtrack"
                                      : "The file has no sound"));
    }
    return {input->streams[audioIndex]};
}

void exportTracks(AVFormatContext* input, const Tracks& tracks, const std::string& path,
                  std::string_view target, const std::function<void(double)>& progress) {
    Output output(path, movieMuxer(target));
    TrackTable table = openTracks(input, tracks, target, output);
    av_dict_copy(&output.context()->metadata, input->metadata, 0);
    output.begin();
    runPackets(input, table, output, progress);
    flushEncoders(table);
    requirePlayableTracks(table);
    output.finish();
    output.requireContent();
}

}  // namespace pivana::media
