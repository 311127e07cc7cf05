#include "support/MediaFixtures.h"

#include "engine/ToolRunner.h"
#include "media/StreamTranscoder.h"
#include "support/TestSupport.h"

extern "C" {
#include <libavutil/display.h>
}

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtEndian>

#include <algorithm>

namespace pivana::test {

namespace {

QByteArray capture(const QString& program, const QStringList& arguments) {
    QByteArray output;
    ProcessOptions options;
    options.onOutputLine = [&output](const QByteArray& line) { output += line + '\n'; };
    const ProcessOutcome outcome = runProcess(program, arguments, options);
    EXPECT_EQ(outcome.exitStatus, 0)
        << program.toStdString() << " " << arguments.join(' ').toStdString() << "\n"
        << outcome.standardError.toStdString();
    return output;
}

std::vector<double> packetField(const QString& path, const char* field) {
    const QByteArray text =
        capture("/usr/bin/ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                     QString("packet=") + field, "-of", "csv=p=0", path});
    std::vector<double> values;
    for (const QByteArray& line : text.split('\n')) {
        if (!line.trimmed().isEmpty()) {
            values.push_back(line.trimmed().toDouble());
        }
    }
    return values;
}

}  // namespace

void ffmpeg(const QStringList& arguments) {
    capture("/usr/bin/ffmpeg", QStringList{"-v", "error", "-y", "-nostdin"} + arguments);
}

void makeClip(const QString& path, double seconds, int width, int height, int fps,
              const QStringList& audioTracks, int rotation, const QString& videoCodec) {
    const QString duration = QString::number(seconds);
    QStringList arguments = {"-f", "lavfi", "-i",
                             QString("testsrc2=size=%1x%2:rate=%3:duration=%4")
                                 .arg(width & ~1)
                                 .arg(height & ~1)
                                 .arg(fps)
                                 .arg(duration)};
    for (int i = 0; i < audioTracks.size(); ++i) {
        arguments << "-f"
                  << "lavfi"
                  << "-i"
                  << QString("sine=frequency=%1:sample_rate=48000:duration=%2")
                         .arg(440 + 110 * i)
                         .arg(duration);
    }
    arguments << "-map"
              << "0:v";
    for (int i = 0; i < audioTracks.size(); ++i) {
        arguments << "-map" << QString("%1:a").arg(i + 1) << QString("-c:a:%1").arg(i)
                  << audioTracks[i] << QString("-ac:a:%1").arg(i) << "2";
    }
    arguments << "-c:v" << videoCodec;
    if (videoCodec == "libx264") {
        arguments << "-pix_fmt"
                  << "yuv420p"
                  << "-preset"
                  << "ultrafast";
    } else if (videoCodec == "mjpeg") {
        // Full-chroma JPEG frames take any size, odd ones included (the pattern itself is even).
        arguments << "-vf" << QString("scale=%1:%2,format=yuvj444p").arg(width).arg(height);
    }
    if (rotation == 0) {
        ffmpeg(arguments << path);
        return;
    }
    // This ffmpeg cannot tag a rotation itself: remux with a display matrix added.
    const QString upright = path + ".upright." + QFileInfo(path).suffix();
    ffmpeg(arguments << upright);
    addRotation(upright, path, rotation);
    QFile::remove(upright);
}

void makeClipWithLateSoundtrack(const QString& path) {
    // One program throughout, whose table gains a second stream in the middle part. The parts
    // around it are long enough that neither FFmpeg's look at the start nor its search for the
    // end timestamps reaches it.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    struct Part {
        int start;
        int seconds;
        bool sound;
    };
    for (const Part& part : {Part{0, 6, false}, Part{7, 1, true}, Part{9, 6, false}}) {
        const QString piece = path + ".part.ts";
        const QString duration = QString::number(part.seconds);
        QStringList arguments = {"-f", "lavfi", "-i",
                                 "testsrc2=size=160x120:rate=10:duration=" + duration};
        if (part.sound) {
            arguments << "-f"
                      << "lavfi"
                      << "-i"
                      << "sine=duration=" + duration << "-c:a"
                      << "aac";
        }
        ffmpeg(arguments << "-c:v"
                         << "mpeg2video"
                         << "-q:v"
                         << "1"
                         << "-f"
                         << "mpegts"
                         << "-mpegts_service_id"
                         << "1"
                         << "-mpegts_pmt_start_pid"
                         << "4096"
                         << "-mpegts_start_pid"
                         << "256"
                         << "-output_ts_offset" << QString::number(part.start) << piece);
        QFile in(piece);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        file.write(in.readAll());
        in.remove();
    }
}

void addRotation(const QString& from, const QString& to, int clockwiseDegrees) {
    using namespace media;
    Input input = openInput(QFile::encodeName(from).toStdString());
    Output output(QFile::encodeName(to).toStdString(), nullptr);
    std::vector<AVStream*> streams;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        AVStream* stream = output.addStream();
        check(avcodec_parameters_copy(stream->codecpar, input->streams[i]->codecpar),
              Stage::Converting, "copy");
        stream->codecpar->codec_tag = 0;
        stream->time_base = input->streams[i]->time_base;
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            auto* matrix = reinterpret_cast<int32_t*>(
                av_stream_new_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t)));
            av_display_rotation_set(matrix, -clockwiseDegrees);
        }
        streams.push_back(stream);
    }
    output.begin();
    readPackets(input.get(), [&](AVPacket* packet) {
        const AVStream* in = input->streams[packet->stream_index];
        copyPacket(packet, in, streams[static_cast<size_t>(packet->stream_index)], output);
        return true;
    });
    output.finish();
}

void makeGif(const QString& path, const std::vector<int>& delays, int width, int height) {
    auto le16 = [](int value) {
        return QByteArray(1, char(value & 0xff)) + char((value >> 8) & 0xff);
    };
    QByteArray gif = "GIF89a" + le16(width) + le16(height) + QByteArray("\x80\x00\x00", 3) +
                     QByteArray("\xff\x00\x00\x00\x00\xff", 6);  // red and blue
    gif += QByteArray("\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (size_t i = 0; i < delays.size(); ++i) {
        if (delays[i] >= 0) {
            gif += QByteArray("\x21\xf9\x04\x00", 4) + le16(delays[i]) + QByteArray("\x00\x00", 2);
        }
        gif += ',' + le16(0) + le16(0) + le16(width) + le16(height) + QByteArray(1, '\0');
        // LZW, minimum code size 2: clear code, one index per pixel (3-bit codes suffice for the
        // few pixels written here as literal codes after a clear each time), end of information.
        QByteArray codes;
        quint32 bits = 0;
        int count = 0;
        auto put = [&](int code, int size) {
            bits |= static_cast<quint32>(code) << count;
            count += size;
            while (count >= 8) {
                codes += char(bits & 0xff);
                bits >>= 8;
                count -= 8;
            }
        };
        const int index = static_cast<int>(i % 2);
        for (int p = 0; p < width * height; ++p) {
            put(4, 3);  // clear: keeps the code size at 3 bits
            put(index, 3);
        }
        put(5, 3);  // end of information
        if (count > 0) {
            codes += char(bits & 0xff);
        }
        gif += char(2);
        for (qsizetype offset = 0; offset < codes.size(); offset += 255) {
            const QByteArray block = codes.mid(offset, 255);
            gif += char(block.size()) + block;
        }
        gif += char(0);
    }
    gif += ';';
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(gif);
}

QByteArray cutInsideFirstPacket(const QString& path) {
    using namespace media;
    const Input input = openInput(QFile::encodeName(path).toStdString());
    qint64 end = 0;
    readPackets(input.get(), [&end](AVPacket* packet) {
        end = packet->pos + packet->size / 2;
        return false;
    });
    EXPECT_GT(end, 0);
    return readAll(path).left(end);
}

void garbleMediaData(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    // The top-level boxes: a 32-bit big-endian size (header included), then the type.
    qsizetype box = 0;
    while (box + 8 <= bytes.size() && bytes.mid(box + 4, 4) != "mdat") {
        const auto size = qFromBigEndian<quint32>(bytes.constData() + box);
        ASSERT_GE(size, 8u);
        box += size;
    }
    ASSERT_LE(box + 8, bytes.size()) << "no mdat box";
    const qsizetype end =
        std::min<qsizetype>(bytes.size(), box + qFromBigEndian<quint32>(bytes.constData() + box));
    quint32 state = 12345;
    for (qsizetype i = box + 8; i < end; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(state >> 16);
    }
    file.seek(0);
    file.write(bytes);
}

QJsonObject probeMedia(const QString& path) {
    const QByteArray json = capture(
        "/usr/bin/ffprobe",
        {"-v", "error", "-show_format", "-show_streams", "-count_packets", "-of", "json", path});
    return QJsonDocument::fromJson(json).object();
}

QJsonObject streamOf(const QJsonObject& probe, const QString& type) {
    for (const QJsonValue& stream : probe.value("streams").toArray()) {
        if (stream.toObject().value("codec_type").toString() == type) {
            return stream.toObject();
        }
    }
    return {};
}

int streamCount(const QJsonObject& probe, const QString& type) {
    const QJsonArray streams = probe.value("streams").toArray();
    return static_cast<int>(
        std::count_if(streams.begin(), streams.end(), [&](const QJsonValue& stream) {
            return stream.toObject().value("codec_type").toString() == type;
        }));
}

std::vector<double> videoTimes(const QString& path) {
    std::vector<double> times = packetField(path, "pts_time");
    std::sort(times.begin(), times.end());
    return times;
}

std::vector<double> videoDurations(const QString& path) {
    return packetField(path, "duration_time");
}

std::vector<double> videoPacketSizes(const QString& path) {
    return packetField(path, "size");
}

}  // namespace pivana::test
