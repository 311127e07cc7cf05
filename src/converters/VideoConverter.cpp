#include "converters/VideoConverter.h"

#include "converters/AudioConverter.h"
#include "converters/GifConverter.h"
#include "converters/MediaErrors.h"
#include "engine/OutputFile.h"
#include "media/MovieExport.h"

#include <QSet>

namespace pivana::VideoConverter {

namespace {

using namespace media;

const QSet<QString> audioFormats = {"m4a", "wav", "aiff", "aac", "flac"};

std::function<void(double)> progressOf(BatchContext& batch) {
    return [&batch](double fraction) { batch.reportProgress(fraction); };
}

// Streams that fit the new container are copied as they are; the others are encoded.
void exportMovie(const QString& source, const QString& target, const SettingsSnapshot& settings,
                 BatchContext& batch) {
    OutputFile output(outputPath(source, target, settings), source, batch);
    withMediaErrors([&] {
        const Input input = openInput(mediaPath(source));
        exportTracks(input.get(), movieTracks(input.get()), mediaPath(output.stagingPath()),
                     target.toStdString(), progressOf(batch));
    });
    output.commit();
    removeSourceIfAsked(source, settings);
}

void extractAudio(const QString& source, const QString& target, const SettingsSnapshot& settings,
                  BatchContext& batch) {
    OutputFile output(outputPath(source, target, settings), source, batch);
    if (target == u"m4a") {
        withMediaErrors([&] {
            const Input input = openInput(mediaPath(source));
            exportTracks(input.get(), soundtrack(input.get()), mediaPath(output.stagingPath()),
                         "m4a", progressOf(batch));
        });
    } else {
        withMediaErrors([&] { soundtrack(openInput(mediaPath(source)).get()); });
        // pivana-audio reads the video itself: no lossy step in between.
        AudioConverter::convertFile(source, output.stagingPath(), target, &batch);
    }
    output.commit();
    removeSourceIfAsked(source, settings);
}

}  // namespace

void convert(const QString& source, const QString& target, const SettingsSnapshot& settings,
             BatchContext& batch) {
    if (target == u"gif") {
        GIFConverter::videoToGIF(source, settings, batch);
    } else if (audioFormats.contains(target)) {
        extractAudio(source, target, settings, batch);
    } else if (target == u"mp4" || target == u"mov" || target == u"m4v") {
        exportMovie(source, target, settings, batch);
    } else {
        throw ConversionError::unsupportedFormat(target);
    }
}

}  // namespace pivana::VideoConverter
