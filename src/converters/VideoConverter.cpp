#include "converters/VideoConverter.h"

#include "converters/AudioConverter.h"
#include "converters/GifConverter.h"
#include "converters/MediaTools.h"
#include "engine/Error.h"

#include <QSet>

namespace pivana::VideoConverter {

namespace {

const QSet<QString> audioFormats = {"m4a", "wav", "aiff", "aac", "flac"};

// An AAC soundtrack goes into the M4A as it is; the other formats are made by pivana-audio from
// the video itself, with no lossy step in between.
Written extractAudio(const ConversionJob& job) {
    if (job.target == u"m4a") {
        return convertWithVideoTool(job, job.target);
    }
    AudioConverter::convertFile(job.source, job.output.path(), job.target, &job.batch);
    return job.output.written();
}

}  // namespace

Written convert(const ConversionJob& job) {
    const QString& target = job.target;
    if (target == u"gif") {
        return GIFConverter::videoToGIF(job);
    }
    if (audioFormats.contains(target)) {
        return extractAudio(job);
    }
    if (target == u"mp4" || target == u"mov" || target == u"m4v") {
        // Streams that fit the new container are copied as they are; the others are encoded.
        return convertWithVideoTool(job, target);
    }
    throw ConversionError::unsupportedFormat(target);
}

}  // namespace pivana::VideoConverter
