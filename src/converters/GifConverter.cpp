#include "converters/GifConverter.h"

#include "converters/MediaTools.h"

namespace pivana::GIFConverter {

Written gifToVideo(const ConversionJob& job) {
    return convertWithVideoTool(job, job.target);
}

Written videoToGIF(const ConversionJob& job) {
    return convertWithVideoTool(job, QStringLiteral("gif"));
}

}  // namespace pivana::GIFConverter
