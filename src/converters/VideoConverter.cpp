#include "converters/VideoConverter.h"

#include "converters/AudioConverter.h"
#include "converters/GifConverter.h"
#include "converters/MediaTools.h"
#include "engine/Error.h"
#include "engine/OutputFile.h"
#include "engine/RouteTable.h"

namespace pivana::VideoConverter {

namespace {

// An AAC soundtrack goes into the M4A as it is; the other formats are made by pivana-audio from
// the video itself, with no lossy step in between.
void extractAudio(const QString& source, const QString& target, const SettingsSnapshot& settings,
                  BatchContext& batch) {
    if (target == u"m4a") {
        convertWithVideoTool(source, target, settings, batch);
        return;
    }
    OutputFile output(outputPath(source, target, settings), source, batch);
    AudioConverter::convertFile(source, output.stagingPath(), target, &batch);
    output.commit();
    removeSourceIfAsked(source, settings);
}

}  // namespace

void convert(const QString& source, const QString& target, const SettingsSnapshot& settings,
             BatchContext& batch) {
    if (target == u"gif") {
        GIFConverter::videoToGIF(source, settings, batch);
    } else if (RouteTable::audioEncoding(target)) {
        extractAudio(source, target, settings, batch);
    } else if (RouteTable::isMovie(target)) {
        // Streams that fit the new container are copied as they are; the others are encoded.
        convertWithVideoTool(source, target, settings, batch);
    } else {
        throw ConversionError::unsupportedFormat(target);
    }
}

}  // namespace pivana::VideoConverter
