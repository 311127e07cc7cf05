// Audio, video and GIF conversions on real files and generated clips, outputs probed with
// ffprobe.
#include "converters/AudioConverter.h"
#include "converters/VideoConverter.h"
#include "engine/RouteTable.h"
#include "media/AnimatedGif.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

using namespace pivana;
using namespace pivana::test;

namespace {

using MediaConversion = ConversionTest;

int intOf(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString().toInt() : value.toInt();
}

// The brand an MP4-family file declares: "qt  " for QuickTime, "M4V " for M4V, "isom" for MP4.
QString brandOf(const QJsonObject& probe) {
    return probe.value("format")
        .toObject()
        .value("tags")
        .toObject()
        .value("major_brand")
        .toString();
}

QString majorBrand(const QString& path) {
    return brandOf(probeMedia(path));
}

double doubleOf(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString().toDouble() : value.toDouble();
}

}  // namespace

// Audio

TEST_F(MediaConversion, AudioToEveryTargetKeepsRateChannelsAndTags) {
    struct Expected {
        const char* file;
        int rate;
        int channels;
    };
    const std::vector<Expected> sources = {
        {"audio/mp3-id3-tags.mp3", 44100, 1},         {"audio/flac-24bit-48k.flac", 48000, 1},
        {"audio/wav-pcm16-stereo-22k.wav", 22050, 2}, {"audio/m4a-alac-lossless.m4a", 44100, 1},
        {"audio/aac-adts-he-v2.aac", 44100, 2},       {"audio/aiff-pcm16-tags.aiff", 44100, 1}};
    int converted = 0;
    for (const Expected& expected : sources) {
        const QString source = corpusCopy(expected.file);
        if (source.isEmpty()) {
            continue;
        }
        const QStringList targets = RouteTable::shared().route(source)->validTargets;
        for (const QString& target : targets) {
            SCOPED_TRACE(QString("%1 -> %2").arg(expected.file, target).toStdString());
            const QString output = convertOne(source, target);
            if (output.isEmpty()) {
                continue;
            }
            const QJsonObject audio = streamOf(probeMedia(output), "audio");
            // Opus runs at 48 kHz whatever it is given.
            EXPECT_EQ(intOf(audio, "sample_rate"), target == "opus" ? 48000 : expected.rate);
            EXPECT_EQ(intOf(audio, "channels"), expected.channels);
            ++converted;
        }
    }
    if (converted == 0) {
        GTEST_SKIP() << "corpus absent";
    }

    const QString tagged = dir.path("mp3-id3-tags.mp3");
    for (const QString target : {"m4a", "flac", "aiff", "opus"}) {
        const QJsonObject probe = probeMedia(dir.path("mp3-id3-tags." + target));
        // Ogg keeps its comments with the stream.
        const QJsonObject tags = (target == "opus" ? streamOf(probe, "audio") : probe["format"])
                                     .toObject()
                                     .value("tags")
                                     .toObject();
        EXPECT_EQ(tags.value("title").toString(), "full") << target;
        EXPECT_EQ(tags.value("artist").toString(), "the artist") << target;
    }
    if (const QString flac = corpusCopy("audio/flac-16bit-tags.flac"); !flac.isEmpty()) {
        const QJsonObject mp3 = probeMedia(convertOne(flac, "mp3"));
        const QJsonObject tags = mp3["format"].toObject().value("tags").toObject();
        EXPECT_EQ(tags.value("title").toString(), "full") << "MP3 tags kept";
        EXPECT_EQ(tags.value("album").toString(), "the album");
        EXPECT_EQ(tags.value("date").toString(), "2001");
        EXPECT_TRUE(readAll(dir.path("flac-16bit-tags.mp3")).startsWith("ID3\x03"))
            << "ID3v2.3, which every player reads";
    }
    if (const QString cover = corpusCopy("audio/flac-cover-art.flac"); !cover.isEmpty()) {
        for (const QString target : {"m4a", "mp3", "opus"}) {
            EXPECT_EQ(streamCount(probeMedia(convertOne(cover, target)), "video"), 1)
                << "cover art kept in " << target;
        }
    }
    // Deep sources stay deep where the target can hold it.
    EXPECT_EQ(streamOf(probeMedia(dir.path("flac-24bit-48k.aiff")), "audio")
                  .value("sample_fmt")
                  .toString(),
              "s16");
}

TEST_F(MediaConversion, BitRateSettingShapesOnlyTheLossyTargets) {
    EXPECT_EQ(AudioConverter::toolArguments("/in.mp3", "m4a", 256000, "/out.m4a"),
              (QStringList{"--to", "m4a", "--bitrate", "256000", "/in.mp3", "/out.m4a"}));
    EXPECT_EQ(AudioConverter::toolArguments("/in.flac", "aac", 96000, "/out.aac"),
              (QStringList{"--to", "aac", "--bitrate", "96000", "/in.flac", "/out.aac"}));
    for (const QString lossless : {"wav", "aiff", "flac"}) {
        EXPECT_EQ(AudioConverter::toolArguments("/in.mp3", lossless, 256000, "/out"),
                  (QStringList{"--to", lossless, "/in.mp3", "/out"}));
    }
    EXPECT_EQ(AudioConverter::toolArguments("/in.mp4", "aac", 0, "/out.aac"),
              (QStringList{"--to", "aac", "/in.mp4", "/out.aac"}));
    EXPECT_EQ(AudioConverter::toolArguments("/in.flac", "opus", 128000, "/out.opus"),
              (QStringList{"--to", "opus", "--bitrate", "128000", "/in.flac", "/out.opus"}));

    const QString source = dir.path("tone.wav");
    ffmpeg({"-f", "lavfi", "-i", "anoisesrc=duration=5:sample_rate=44100", "-ac", "2", source});
    settings.audioBitrate = 96;
    const qint64 small = QFileInfo(convertOne(source, "m4a")).size();
    settings.audioBitrate = 320;
    const qint64 large = QFileInfo(convertOne(source, "m4a")).size();
    EXPECT_GT(large, small * 2);
    for (const QString target : {"mp3", "opus"}) {
        settings.audioBitrate = 96;
        const qint64 smaller = QFileInfo(convertOne(source, target)).size();
        settings.audioBitrate = 320;
        EXPECT_GT(QFileInfo(convertOne(source, target)).size(), smaller * 2) << target;
    }
    // A rate past what LAME writes is brought down to its highest, not refused.
    const ProgramRun lame = runBinary(
        "pivana-audio", {"--to", "mp3", "--bitrate", "500000", source, dir.path("loud.mp3")});
    ASSERT_EQ(lame.status, 0) << lame.err;
    EXPECT_EQ(intOf(streamOf(probeMedia(dir.path("loud.mp3")), "audio"), "bit_rate"), 320000);
}

TEST_F(MediaConversion, AudioTargetsOutsideTheTableAreRefused) {
    const QString source = dir.write("a.wav", "RIFF");
    BatchContext batch;
    Staging output(dir.path("a.ogg"), source, batch);
    try {
        AudioConverter::convert({source, "ogg", settings, output, batch});
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(cleanReason(error), "Unsupported format: ogg");
    }
    try {
        AudioConverter::convertFile(source, dir.path("a.ogg"), "ogg");
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(cleanReason(error), "Unsupported format: ogg");
    }
    EXPECT_EQ(entries(dir.root()), QStringList{"a.wav"});
}

// Video

TEST_F(MediaConversion, VideoToGifSamplesTenFramesASecondForAtMostThirtySeconds) {
    struct Case {
        double seconds;
        int width, height, fps;
        int frames;
        int gifWidth, gifHeight;
    };
    // A clip of one frame, or two, still gives its first frame.
    for (const Case& c :
         {Case{45, 64, 48, 100, 300, 64, 48}, Case{2.37, 1920, 1080, 100, 23, 640, 360},
          Case{0.05, 320, 240, 100, 1, 320, 240}, Case{0.04, 320, 240, 25, 1, 320, 240},
          Case{0.07, 160, 120, 25, 1, 160, 120}}) {
        SCOPED_TRACE(c.seconds);
        const QString clip = dir.path(QString("clip%1.mp4").arg(c.seconds));
        makeClip(clip, c.seconds, c.width, c.height, c.fps, {});
        const QString gif = convertOne(clip, "gif");
        const QJsonObject video = streamOf(probeMedia(gif), "video");
        EXPECT_EQ(intOf(video, "nb_read_packets"), c.frames);
        EXPECT_EQ(intOf(video, "width"), c.gifWidth);
        EXPECT_EQ(intOf(video, "height"), c.gifHeight);
        for (double delay : videoDurations(gif)) {
            EXPECT_DOUBLE_EQ(delay, 0.1);
        }
        EXPECT_TRUE(readAll(gif).contains(QByteArray("NETSCAPE2.0\x03\x01\x00\x00", 15)))
            << "loops forever";
    }
    EXPECT_EQ(media::gifFrameCount(45), 300);
    EXPECT_EQ(media::gifFrameCount(2.37), 23);
    EXPECT_EQ(media::gifFrameSize(1080, 1920), std::make_pair(360, 640));
}

TEST_F(MediaConversion, VideoToGifIsUpright) {
    const QString clip = dir.path("phone.mov");
    makeClip(clip, 1, 320, 240, 10, {}, 90);
    const QJsonObject video = streamOf(probeMedia(convertOne(clip, "gif")), "video");
    EXPECT_EQ(intOf(video, "width"), 240);
    EXPECT_EQ(intOf(video, "height"), 320);
}

TEST_F(MediaConversion, ContainerChangeCopiesStreamsThatFit) {
    const QString clip = dir.path("holiday.mov");
    makeClip(clip, 2, 320, 240, 25, {"aac", "aac"}, 90);
    const QByteArray before = readAll(clip);
    const int rotation = intOf(
        streamOf(probeMedia(clip), "video").value("side_data_list").toArray().at(0).toObject(),
        "rotation");
    EXPECT_NE(rotation, 0);
    const std::vector<double> packets = videoPacketSizes(clip);
    ASSERT_EQ(packets.size(), 50u);
    for (const QString target : {"mp4", "m4v"}) {
        const QString output = convertOne(clip, target);
        const QJsonObject probe = probeMedia(output);
        const QJsonObject video = streamOf(probe, "video");
        EXPECT_EQ(video.value("codec_name").toString(), "h264");
        EXPECT_EQ(videoPacketSizes(output), packets) << "picture copied, not encoded again";
        EXPECT_EQ(streamCount(probe, "audio"), 2) << "every soundtrack kept in " << target;
        EXPECT_EQ(intOf(video.value("side_data_list").toArray().at(0).toObject(), "rotation"),
                  rotation)
            << "rotation kept in " << target;
    }
    EXPECT_EQ(readAll(clip), before);
    const QString matroska = dir.path("trip.mkv");
    makeClip(matroska, 2, 320, 240, 25, {"aac"});
    const QJsonObject mov = probeMedia(convertOne(matroska, "mov"));
    EXPECT_EQ(intOf(streamOf(mov, "video"), "nb_read_packets"), 50);
    EXPECT_EQ(streamOf(mov, "audio").value("codec_name").toString(), "aac");
    // The container tells players what it is.
    EXPECT_EQ(majorBrand(dir.path("trip.mov")), "qt  ");
    EXPECT_EQ(majorBrand(dir.path("holiday.m4v")), "M4V ");
}

TEST_F(MediaConversion, WebmCopiesVp9AndOpusAndEncodesTheRestAsAv1AndOpus) {
    const QString web = dir.path("stream.mkv");
    makeClip(web, 1, 160, 120, 10, {"libopus"}, 0, "libvpx-vp9");
    const QString copied = convertOne(web, "webm");
    const QJsonObject copy = probeMedia(copied);
    EXPECT_EQ(streamOf(copy, "video").value("codec_name").toString(), "vp9");
    EXPECT_EQ(streamOf(copy, "audio").value("codec_name").toString(), "opus");
    EXPECT_EQ(videoPacketSizes(copied), videoPacketSizes(web)) << "picture copied, not encoded";
    EXPECT_EQ(copy["format"].toObject().value("format_name").toString(), "matroska,webm");

    // An iPhone-style clip: H.264 and AAC, shown turned. WebM keeps no turn, so the pictures
    // are turned upright as they are encoded.
    const QString phone = dir.path("phone.mov");
    makeClip(phone, 1, 160, 120, 10, {"aac"}, 90);
    const QJsonObject encoded = probeMedia(convertOne(phone, "webm"));
    const QJsonObject video = streamOf(encoded, "video");
    EXPECT_EQ(video.value("codec_name").toString(), "av1");
    EXPECT_EQ(intOf(video, "width"), 120);
    EXPECT_EQ(intOf(video, "height"), 160);
    EXPECT_EQ(intOf(video, "nb_read_packets"), 10);
    EXPECT_EQ(streamOf(encoded, "audio").value("codec_name").toString(), "opus");

    // A GIF too, small ones (below AV1's encoder's 64 pixels) as VP9.
    const QString small = dir.path("small.gif");
    makeGif(small, {20, 20, 20}, 33, 17);
    const QJsonObject gif = streamOf(probeMedia(convertOne(small, "webm")), "video");
    EXPECT_EQ(gif.value("codec_name").toString(), "vp9");
    EXPECT_EQ(intOf(gif, "width"), 33);
    EXPECT_EQ(intOf(gif, "nb_read_packets"), 3);
}

TEST_F(MediaConversion, HevcIsCopiedWhereTheContainerTakesIt) {
    const QString clip = dir.path("phone.mkv");
    makeClip(clip, 1, 160, 120, 10, {"aac"}, 0, "libx265");
    const QString mp4 = convertOne(clip, "mp4");
    const QJsonObject copied = streamOf(probeMedia(mp4), "video");
    EXPECT_EQ(copied.value("codec_name").toString(), "hevc");
    EXPECT_EQ(copied.value("codec_tag_string").toString(), "hvc1") << "tagged for Apple players";
    EXPECT_EQ(videoPacketSizes(mp4), videoPacketSizes(clip));
    // The M4V writer takes H.264 only.
    const QJsonObject m4v = streamOf(probeMedia(convertOne(clip, "m4v")), "video");
    EXPECT_EQ(m4v.value("codec_name").toString(), "h264");
    EXPECT_EQ(intOf(m4v, "nb_read_packets"), 10);
}

TEST_F(MediaConversion, StreamsThatDoNotFitAreReencodedAtFullSizeAndRate) {
    const QString clip = dir.path("camera.avi");
    makeClip(clip, 2, 321, 241, 15, {"pcm_s16le"}, 0, "mjpeg");
    const QJsonObject probe = probeMedia(convertOne(clip, "mp4"));
    const QJsonObject video = streamOf(probe, "video");
    EXPECT_EQ(video.value("codec_name").toString(), "h264");
    EXPECT_EQ(intOf(video, "width"), 322) << "odd sides padded to even";
    EXPECT_EQ(intOf(video, "height"), 242);
    EXPECT_EQ(intOf(video, "nb_read_packets"), 30);
    EXPECT_EQ(video.value("avg_frame_rate").toString(), "15/1");
    const QJsonObject audio = streamOf(probe, "audio");
    EXPECT_EQ(audio.value("codec_name").toString(), "aac");
    EXPECT_EQ(intOf(audio, "sample_rate"), 48000);
    EXPECT_NEAR(doubleOf(probe.value("format").toObject(), "duration"), 2.0, 0.1);
    // QuickTime takes the PCM sound as it is.
    const QJsonObject mov = probeMedia(convertOne(clip, "mov"));
    EXPECT_EQ(streamOf(mov, "video").value("codec_name").toString(), "h264");
    EXPECT_EQ(streamOf(mov, "audio").value("codec_name").toString(), "pcm_s16le");
}

TEST_F(MediaConversion, AStreamThatStartsMidwayIsLeftOut) {
    const QString clip = dir.path("broadcast.mkv");
    makeClipWithLateSoundtrack(clip);
    const QJsonObject probe = probeMedia(convertOne(clip, "mp4"));
    EXPECT_EQ(streamCount(probe, "video"), 1);
    EXPECT_EQ(streamCount(probe, "audio"), 0);
    EXPECT_EQ(intOf(streamOf(probe, "video"), "nb_read_packets"), 130);
}

TEST_F(MediaConversion, SoundtracksComeOutInEveryAudioFormat) {
    const QString clip = dir.path("talk.mp4");
    makeClip(clip, 2, 160, 120, 10, {"aac"});
    for (const QString target : {"m4a", "wav", "aiff", "aac", "flac", "mp3", "opus"}) {
        const QJsonObject probe = probeMedia(convertOne(clip, target));
        EXPECT_EQ(streamCount(probe, "video"), 0) << target;
        const QJsonObject audio = streamOf(probe, "audio");
        EXPECT_EQ(intOf(audio, "sample_rate"), 48000) << target;
        EXPECT_EQ(intOf(audio, "channels"), 2) << target;
        EXPECT_NEAR(doubleOf(probe.value("format").toObject(), "duration"), 2.0, 0.1) << target;
    }
    // AAC soundtracks are copied into the M4A as they are.
    EXPECT_EQ(readAll(dir.path("talk.m4a")).size() > 0, true);
    const QString silent = dir.path("silent.mov");
    makeClip(silent, 1, 160, 120, 10, {});
    settings.replaceOriginal = true;
    EXPECT_EQ(reasonFor(silent, "m4a"), "The video has no soundtrack");
    EXPECT_EQ(reasonFor(silent, "flac"), "pivana-audio: The video has no soundtrack");
    EXPECT_TRUE(exists(silent));
    const QString audioOnly = dir.path("song.mp4");
    ffmpeg({"-f", "lavfi", "-i", "sine=duration=1", "-c:a", "aac", audioOnly});
    EXPECT_EQ(reasonFor(audioOnly, "gif"), "The file has no video track");
}

TEST_F(MediaConversion, ProgressIsReportedForLongWork) {
    const QString clip = dir.path("long.mkv");
    makeClip(clip, 6, 320, 240, 25, {"pcm_s16le"}, 0, "mjpeg");
    std::vector<double> fractions;
    BatchObserver observer;
    observer.fileProgress = [&](int, double fraction) { fractions.push_back(fraction); };
    run({clip}, "mp4", &observer);
    run({clip}, "wav", &observer);
    ASSERT_GT(fractions.size(), 10u);
    EXPECT_GT(*std::max_element(fractions.begin(), fractions.end()), 0.9);
}

TEST_F(MediaConversion, CorpusVideosConvert) {
    int tried = 0;
    for (const char* file : {"video/mov-iphone-rotated-gps.mov", "video/avi-mjpeg-pcm-camera.AVI",
                             "video/mkv-h264-aac-4s.mkv", "video/m4v-ipod-h264-aac.m4v"}) {
        const QString source = corpusCopy(file);
        if (source.isEmpty()) {
            continue;
        }
        ++tried;
        for (const QString target : {"mp4", "gif", "wav"}) {
            if (RouteTable::extensionKey(source) == target) {
                continue;
            }
            const QString output = convertOne(source, target);
            if (!output.isEmpty()) {
                EXPECT_GT(streamCount(probeMedia(output), target == "wav" ? "audio" : "video"), 0)
                    << file;
            }
            QFile::remove(output);
        }
    }
    if (tried == 0) {
        GTEST_SKIP() << "corpus absent";
    }
}

// GIF to video

TEST_F(MediaConversion, GifFramesAreTimedByTheirDelays) {
    const QString gif = dir.path("five.gif");
    makeGif(gif, {50, 10, 10, 10, 10});
    const std::vector<double> times = videoTimes(convertOne(gif, "mp4"));
    ASSERT_EQ(times.size(), 5u);
    const std::vector<double> expected = {0.0, 0.5, 0.6, 0.7, 0.8};
    for (size_t i = 0; i < times.size(); ++i) {
        EXPECT_NEAR(times[i], expected[i], 0.002) << i;
    }

    const QString quick = dir.path("quick.gif");
    makeGif(quick, {1, 0, -1, 3});  // 0.01 and 0 become 0.02; none declared is 0.1
    const std::vector<double> quickTimes = videoTimes(convertOne(quick, "mov"));
    ASSERT_EQ(quickTimes.size(), 4u);
    EXPECT_NEAR(quickTimes[1], 0.02, 0.002);
    EXPECT_NEAR(quickTimes[2], 0.04, 0.002);
    EXPECT_NEAR(quickTimes[3], 0.14, 0.002);
    EXPECT_EQ(media::frameDelay(1), 2);
    EXPECT_EQ(media::frameDelay(7), 7);
}

TEST_F(MediaConversion, AOneFrameGifShowsItsFrameForItsDelay) {
    // FFmpeg declares no delay for a still: it shows for a tenth of a second.
    const QString still = dir.path("still.gif");
    ffmpeg({"-f", "lavfi", "-i", "color=c=red:s=16x16", "-frames:v", "1", still});
    const QString slow = dir.path("slow.gif");
    makeGif(slow, {30});
    for (const auto& [gif, seconds] : {std::pair{still, 0.1}, std::pair{slow, 0.3}}) {
        for (const QString target : {"mp4", "mov", "m4v"}) {
            SCOPED_TRACE((QFileInfo(gif).fileName() + " -> " + target).toStdString());
            const QString output = convertOne(gif, target);
            ASSERT_FALSE(output.isEmpty());
            const QJsonObject probe = probeMedia(output);
            EXPECT_EQ(intOf(streamOf(probe, "video"), "nb_read_packets"), 1);
            EXPECT_NEAR(doubleOf(probe.value("format").toObject(), "duration"), seconds, 0.005);
            QFile::remove(output);
        }
    }
}

TEST_F(MediaConversion, GifBecomesH264InTheChosenContainer) {
    const QString single = dir.path("still.gif");
    makeGif(single, {20}, 33, 17);
    const QJsonObject probe = probeMedia(convertOne(single, "m4v"));
    const QJsonObject video = streamOf(probe, "video");
    EXPECT_EQ(video.value("codec_name").toString(), "h264");
    EXPECT_EQ(intOf(video, "nb_read_packets"), 1);
    EXPECT_EQ(intOf(video, "width"), 34) << "odd sizes padded by one pixel";
    EXPECT_EQ(intOf(video, "height"), 18);
    EXPECT_EQ(brandOf(probe), "M4V ");

    if (const QString corpus = corpusCopy("gif/gif-animated-rotating-squares.gif");
        !corpus.isEmpty()) {
        const QJsonObject squares = streamOf(probeMedia(convertOne(corpus, "mp4")), "video");
        EXPECT_EQ(intOf(squares, "nb_read_packets"), 30);
        EXPECT_EQ(intOf(squares, "width"), 80);
    }
}
