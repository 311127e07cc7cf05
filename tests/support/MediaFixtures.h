#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <vector>

namespace pivana::test {

/// Runs the ffmpeg command line (the test's own means of making clips); fails the test when it
/// does not succeed.
void ffmpeg(const QStringList& arguments);

/// A test-pattern clip: `seconds` long, `width` x `height` at `fps` frames a second, H.264 in the
/// container of the extension, with a 48 kHz stereo tone per entry of `audioTracks` (its codec:
/// "aac", "pcm_s16le", ...), and a display rotation in degrees.
void makeClip(const QString& path, double seconds, int width, int height, int fps,
              const QStringList& audioTracks = {"aac"}, int rotation = 0,
              const QString& videoCodec = "libx264");

/// An MPEG-TS stream in a file named `path` whose soundtrack starts only in its middle second:
/// FFmpeg finds that stream while reading the packets, after the file was opened.
void makeClipWithLateSoundtrack(const QString& path);

/// Copies a media file, adding a display rotation to its video.
void addRotation(const QString& from, const QString& to, int clockwiseDegrees);

/// An animated GIF of `delays.size()` frames, `width` x `height`, alternating colours; a delay
/// below 0 leaves out the frame's graphic control block (no delay declared at all).
void makeGif(const QString& path, const std::vector<int>& delays, int width = 2, int height = 2);

/// The bytes of a media file up to the middle of its first packet: a file cut off before any
/// whole packet, its streams announced by the header.
QByteArray cutInsideFirstPacket(const QString& path);

/// Overwrites the media data of an MP4-family file (everything after its "mdat" box header) with
/// fixed pseudo-random bytes: the file still opens and its packets are read, but they decode to
/// nothing, as after a damaged download or disk.
void garbleMediaData(const QString& path);

/// ffprobe's view of a file: "format" and "streams" as JSON.
QJsonObject probeMedia(const QString& path);
/// The first stream of a type ("video", "audio") in a probe, empty when there is none.
QJsonObject streamOf(const QJsonObject& probe, const QString& type);
int streamCount(const QJsonObject& probe, const QString& type);
/// Presentation times in seconds of a file's video packets, in order.
std::vector<double> videoTimes(const QString& path);
/// Durations of a file's video packets, in seconds.
std::vector<double> videoDurations(const QString& path);
/// Sizes in bytes of a file's video packets, in file order: equal for a stream copied unchanged.
std::vector<double> videoPacketSizes(const QString& path);

}  // namespace pivana::test
