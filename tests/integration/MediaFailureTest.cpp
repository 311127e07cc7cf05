// Damaged media: a conversion succeeds only with an output that plays, and fails in one plain
// sentence that names no library, no path and not the file (the app shows the name beside it).
// Sources stay as they were, also under "Replace original", and nothing is left beside them.
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

using namespace pivana;
using namespace pivana::test;

namespace {

const QString damaged = "The file is damaged or incomplete";

enum class Damage {
    Empty,
    Noise,         // bytes of no format at all
    CutHeader,     // the first 40 bytes of a FLAC file
    CutMovie,      // a Matroska clip cut inside its first packet: streams announced, none whole
    GarbledSound,  // an AAC file in the MP4 family whose packets decode to nothing
};

QByteArray damagedBytes(const Scratch& dir, Damage damage) {
    const QString whole = dir.path("whole.tmp");
    QByteArray bytes;
    switch (damage) {
        case Damage::Empty:
            return {};
        case Damage::Noise:
            return QByteArray(30000, '\x37');
        case Damage::CutHeader:
            ffmpeg({"-f", "lavfi", "-i", "sine=duration=3", "-f", "flac", whole});
            bytes = readAll(whole).left(40);
            break;
        case Damage::CutMovie:
            makeClip(whole + ".mkv", 2, 320, 240, 25, {"aac"});
            bytes = cutInsideFirstPacket(whole + ".mkv");
            QFile::remove(whole + ".mkv");
            break;
        case Damage::GarbledSound:
            ffmpeg({"-f", "lavfi", "-i", "sine=duration=2", "-c:a", "aac", "-f", "mp4", whole});
            garbleMediaData(whole);
            bytes = readAll(whole);
            break;
    }
    QFile::remove(whole);
    return bytes;
}

struct MediaFailure : ConversionTest {
    // Converts under "Replace original", expecting `reason` and the folder as it was.
    void expectFailure(const QString& source, const QString& target, const QString& reason) {
        SCOPED_TRACE((QFileInfo(source).fileName() + " -> " + target).toStdString());
        const QByteArray before = readAll(source);
        const QStringList folder = entries(dir.root());
        settings.replaceOriginal = true;
        EXPECT_EQ(reasonFor(source, target), reason);
        EXPECT_EQ(readAll(source), before);
        EXPECT_EQ(entries(dir.root()), folder);
    }
};

}  // namespace

// No success without a real output

TEST_F(MediaFailure, AMovieCutBeforeItsFirstPacketFailsInEveryContainer) {
    const QString cut = dir.write("trip.mkv", damagedBytes(dir, Damage::CutMovie));
    for (const QString target : {"m4a", "mp4", "mov", "m4v", "gif"}) {
        expectFailure(cut, target, damaged);
    }
}

TEST_F(MediaFailure, ACameraClipCutShortFails) {
    // The camera's header announces picture and sound; what follows holds part of one picture.
    PIVANA_CORPUS_OR_SKIP(clip, "video/avi-mjpeg-pcm-camera.AVI");
    const QString cut = dir.write("camera.avi", readAll(clip).left(2000));
    for (const QString target : {"m4a", "mp4", "mov"}) {
        expectFailure(cut, target, damaged);
    }
}

TEST_F(MediaFailure, SoundThatDoesNotDecodeIsNotCopied) {
    // AAC would go into these containers unchanged.
    const QString song = dir.write("song.mp4", damagedBytes(dir, Damage::GarbledSound));
    for (const QString target : {"m4a", "mov"}) {
        expectFailure(song, target, damaged);
    }
}

TEST_F(MediaFailure, SoundCutJustPastItsHeaderFailsForEveryAudioTarget) {
    // 64 bytes hold the header and a few samples, a fraction of a millisecond of sound.
    for (const QString kind : {"wav", "aiff"}) {
        const QString whole = dir.path("whole." + kind);
        ffmpeg({"-f", "lavfi", "-i", "sine=duration=1", "-fflags", "+bitexact", whole});
        const QString cut = dir.write("cut." + kind, readAll(whole).left(64));
        QFile::remove(whole);
        for (const QString target : {"m4a", "wav", "aiff", "aac", "flac"}) {
            if (target != kind) {
                expectFailure(cut, target, "pivana-audio: " + damaged);
            }
        }
    }
}

TEST_F(MediaFailure, AMovieCutShortKeepsWhatItHolds) {
    // Players play the part that is there, and so does the conversion; only a cut that leaves
    // nothing playable fails.
    const QString whole = dir.path("whole.mkv");
    makeClip(whole, 2, 320, 240, 25, {"aac"});
    const QByteArray bytes = readAll(whole);
    QFile::remove(whole);
    const QString part = dir.write("part.mkv", bytes.left(bytes.size() * 6 / 10));
    const QJsonObject probe = probeMedia(convertOne(part, "mp4"));
    const int frames = streamOf(probe, "video").value("nb_read_packets").toString().toInt();
    EXPECT_GT(frames, 10);
    EXPECT_LT(frames, 50);
    EXPECT_EQ(streamCount(probe, "audio"), 1);
}

// Plain reasons

struct BadMedia {
    const char* name;
    const char* file;
    Damage damage;
    const char* target;
    const char* reason;
};

class BadMediaInput : public MediaFailure, public testing::WithParamInterface<BadMedia> {};

TEST_P(BadMediaInput, FailsInOneSentenceAndLeavesNothingBehind) {
    const QString source = dir.write(GetParam().file, damagedBytes(dir, GetParam().damage));
    expectFailure(source, GetParam().target, GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, BadMediaInput,
    testing::Values(
        BadMedia{"emptyAudio", "empty.wav", Damage::Empty, "flac",
                 "pivana-audio: Not a readable media file"},
        BadMedia{"noiseAudio", "noise.mp3", Damage::Noise, "wav",
                 "pivana-audio: Not a readable media file"},
        BadMedia{"cutAudio", "cut.flac", Damage::CutHeader, "m4a",
                 "pivana-audio: Not a readable media file"},
        BadMedia{"garbledAudio", "garbled.m4a", Damage::GarbledSound, "wav",
                 "pivana-audio: The file is damaged or incomplete"},
        BadMedia{"emptyVideo", "empty.mp4", Damage::Empty, "mov", "Not a readable media file"},
        BadMedia{"noiseVideo", "noise.mkv", Damage::Noise, "gif", "Not a readable media file"},
        BadMedia{"noiseVideoSoundtrack", "noise.mov", Damage::Noise, "m4a",
                 "Not a readable media file"},
        BadMedia{"cutVideoSoundtrack", "cut.mkv", Damage::CutMovie, "flac",
                 "pivana-audio: The file is damaged or incomplete"},
        BadMedia{"noiseGif", "noise.gif", Damage::Noise, "mp4", "Cannot open GIF"}),
    [](const testing::TestParamInfo<BadMedia>& row) { return std::string(row.param.name); });

// Run from a shell, the tools say the same in the same words, and write nothing.
TEST_F(MediaFailure, ToolsReportOneSentenceOnStandardError) {
    const QString fifo = dir.path("stream.wav");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString garbled = dir.write("garbled.m4a", damagedBytes(dir, Damage::GarbledSound));
    struct Run {
        const char* tool;
        QStringList arguments;
        QString sentence;
    };
    const QString out = dir.path("out");
    for (const Run& run : {
             Run{"pivana-audio", {"--to", "wav", fifo, out + ".wav"}, "It is not a regular file"},
             Run{"pivana-video",
                 {"--to", "mov", dir.path("gone.mp4"), out + ".mov"},
                 "The file does not exist"},
             Run{"pivana-video", {"--to", "m4a", garbled, out + ".m4a"}, damaged},
             Run{"pivana-audio", {garbled, out + ".flac", "--to", "flac"}, damaged},
         }) {
        SCOPED_TRACE(run.tool + (" " + run.arguments.join(' ')).toStdString());
        const ProgramRun result = runBinary(run.tool, run.arguments);
        EXPECT_EQ(result.status, 1);
        // Lines after the first are detail for a person at a terminal.
        EXPECT_EQ(result.err.section(u'\n', 0, 0), run.sentence);
    }
    EXPECT_EQ(entries(dir.root()), (QStringList{"garbled.m4a", "stream.wav"}));
}

// A command line a tool cannot act on ends with status 2 and a usage line, before the input is
// read or anything is written; the output a caller named stays as it was.
TEST_F(MediaFailure, ToolsRefuseCommandLinesTheyCannotActOn) {
    const QString sound = dir.path("tone.wav");
    ffmpeg({"-f", "lavfi", "-i", "sine=duration=1", sound});
    const QString animation = dir.write("anim.gif", "GIF89a");
    const QString kept = dir.write("kept.out", "kept");
    struct Run {
        const char* tool;
        QStringList arguments;
    };
    for (const Run& run : {
             Run{"pivana-audio", {"--to", "ogg", sound, kept}},
             Run{"pivana-audio", {"--to", "mp4", sound, kept}},
             Run{"pivana-audio", {sound, "-f", "WAVE", "-d", "LEI16", kept}},
             Run{"pivana-audio", {"--to", "m4a", "--bitrate", "128k", sound, kept}},
             Run{"pivana-audio", {"--to", "m4a", "--bitrate", "4000", sound, kept}},
             Run{"pivana-audio", {"--to", "m4a", "--bitrate", "99999999999999999999", sound, kept}},
             Run{"pivana-audio", {"--to", "wav", "--to", "flac", sound, kept}},
             Run{"pivana-audio", {"--to", "wav", sound}},
             Run{"pivana-audio", {"--to", "wav", sound, kept, dir.path("third.wav")}},
             Run{"pivana-audio", {sound, kept, "--to"}},
             Run{"pivana-video", {"--to", "wav", sound, kept}},
             Run{"pivana-video", {"--to", "gif", animation, kept}},
             Run{"pivana-video", {"--to", "m4a", animation, kept}},
             Run{"pivana-video", {"--quality", "5", "--to", "mp4", sound, kept}},
             Run{"pivana-video", {sound, kept}},
         }) {
        SCOPED_TRACE(run.tool + (" " + run.arguments.join(' ')).toStdString());
        const ProgramRun result = runBinary(run.tool, run.arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_TRUE(result.err.contains(QStringLiteral("usage: ") + run.tool)) << result.err;
        EXPECT_EQ(readAll(kept), "kept");
    }
    EXPECT_EQ(entries(dir.root()), (QStringList{"anim.gif", "kept.out", "tone.wav"}));
}
