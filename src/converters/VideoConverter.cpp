#include "converters/VideoConverter.h"

#include "converters/AudioConverter.h"
#include "converters/GifConverter.h"
#include "converters/MediaTools.h"
#include "engine/Error.h"
#include "engine/RouteTable.h"

namespace pivana::VideoConverter {

namespace {

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
    if (RouteTable::audioEncoding(target)) {
        return extractAudio(job);
    }
    if (RouteTable::isMovie(target)) {
        // Streams that fit the new container are copied as they are; the others are encoded.
        return convertWithVideoTool(job, target);
    }
    throw ConversionError::unsupportedFormat(target);
}

}  // namespace pivana::VideoConverter
